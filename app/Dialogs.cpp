#include "app/Dialogs.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTranslator>
#include <QPushButton>
#include <vector>

namespace {

// Takes the override cursors (a command's wait cursor) off while a modal box
// is up, so that the user answering it sees the ordinary pointer, and puts
// them back after it.
class TCursorsAside {
public:
    TCursorsAside()
    {
        while (const QCursor* cursor = QGuiApplication::overrideCursor()) {
            fCursors.push_back(*cursor);   // the top one first
            QGuiApplication::restoreOverrideCursor();
        }
    }
    ~TCursorsAside()
    {
        for (auto cursor = fCursors.rbegin(); cursor != fCursors.rend(); ++cursor)
            QGuiApplication::setOverrideCursor(*cursor);
    }
    TCursorsAside(const TCursorsAside&) = delete;
    TCursorsAside& operator=(const TCursorsAside&) = delete;

private:
    std::vector<QCursor> fCursors;
};

}  // namespace

void TakeOwnersLook(QWidget* dialog, const QWidget* owner)
{
    if (!owner) {
        // Without a window manager no window may be active: the program's own shown window.
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            if (window != dialog && window->isVisible() && window->windowType() == Qt::Window) {
                owner = window;
                break;
            }
        }
    }
    if (!owner)
        return;
    dialog->setFont(owner->font());
    dialog->setPalette(owner->palette());
}

void ShowMessageBox(const QString& text)
{
    const TCursorsAside cursors;
    // Without a window manager nobody hands the activation back when the box
    // closes: the window that was active asks for it again itself.
    const QPointer<QWidget> owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, owner);
    TakeOwnersLook(&box, owner);
    box.exec();
    if (owner)
        owner->activateWindow();
}

namespace {

// "モデルファイル (*.bin)" gives "bin".
QString FirstSuffix(const QStringList& filters)
{
    if (filters.isEmpty())
        return {};
    const QString filter = filters.front();
    const qsizetype star = filter.indexOf(QStringLiteral("*."));
    if (star < 0)
        return {};
    qsizetype end = star + 2;
    while (end < filter.size() && filter.at(end).isLetterOrNumber())
        ++end;
    return filter.mid(star + 2, end - star - 2);
}

}  // namespace

TFileAnswer ShowFileDialog(const TFileRequest& request)
{
    const TCursorsAside cursors;
    const QPointer<QWidget> owner = QApplication::activeWindow();
    QFileDialog dialog(owner, request.Caption, request.Folder);
    TakeOwnersLook(&dialog, owner);
    dialog.setNameFilters(request.Filters);
    if (request.Mode == TFileRequest::TMode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(FirstSuffix(request.Filters));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!request.SuggestedName.isEmpty())
        dialog.selectFile(QDir(request.Folder).filePath(request.SuggestedName));
    TFileAnswer answer;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        answer.FileName = dialog.selectedFiles().front();
        answer.Filter = std::max<int>(0, int(request.Filters.indexOf(dialog.selectedNameFilter())));
    }
    if (owner)
        owner->activateWindow();   // no window manager hands the activation back
    return answer;
}

void UseJapaneseToolkitTexts()
{
    static QTranslator translator;
    if (translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
}

bool AskQuestionBox(const QString& text)
{
    const QPointer<QWidget> owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text, QMessageBox::NoButton, owner);
    QPushButton* yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    TakeOwnersLook(&box, owner);
    box.exec();
    if (owner)
        owner->activateWindow();
    return box.clickedButton() == yes;
}

TWaitCursor::TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
TWaitCursor::~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
