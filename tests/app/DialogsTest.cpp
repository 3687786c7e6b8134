// The real boxes and file dialog the program shows: in the window's font and
// colours.  Each is closed from the event loop it runs, once it is open.
#include "app/BrelvanU.h"
#include "app/Dialogs.h"
#include "app/Styles.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct TSeen {
    QString Kind;
    QFont Font;
    QFont LabelFont;
    QColor Window;
};

// Looks at the modal dialog open on the next turn of the event loop and closes it.
void LookAtTheNextDialog(std::vector<TSeen>& seen)
{
    QTimer::singleShot(0, [&seen] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        const QLabel* label = dialog->findChild<QLabel*>();
        seen.push_back({QString::fromLatin1(dialog->metaObject()->className()), dialog->font(),
                        label ? label->font() : QFont(), dialog->palette().color(QPalette::Window)});
        dialog->reject();
    });
}

}  // namespace

TEST(Dialogs, ShowTheBoxesAndTheFileDialogInTheWindowsFontAndColours)
{
    ASSERT_TRUE(TrySetStyle("Windows10 Dark"));
    TBrelvanF window;
    window.show();
    window.activateWindow();
    QCoreApplication::processEvents();

    std::vector<TSeen> seen;
    LookAtTheNextDialog(seen);
    ShowMessageBox(QStringLiteral("テスト"));
    LookAtTheNextDialog(seen);
    EXPECT_FALSE(AskQuestionBox(QStringLiteral("続けますか?")));
    LookAtTheNextDialog(seen);
    TFileRequest request;
    request.Caption = QStringLiteral("モデル読込");
    request.Folder = QDir::tempPath();
    request.Filters = {QStringLiteral("モデルファイル (*.bin)")};
    EXPECT_FALSE(ShowFileDialog(request).Chosen());

    ASSERT_EQ(seen.size(), 3u);
    for (const TSeen& dialog : seen) {
        SCOPED_TRACE(dialog.Kind.toStdString());
        EXPECT_EQ(dialog.Font.pixelSize(), 23);
        EXPECT_EQ(dialog.Font.families(), window.font().families());
        EXPECT_EQ(dialog.LabelFont.pixelSize(), 23);
        EXPECT_EQ(dialog.Window, window.palette().color(QPalette::Window));
    }

    // With no window active (no window manager hands it back), the look is the shown window's.
    QMessageBox orphan;
    TakeOwnersLook(&orphan, nullptr);
    EXPECT_EQ(orphan.font().pixelSize(), 23);
}
