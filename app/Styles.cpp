#include "app/Styles.h"

#include "app/Dialogs.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace {

QString gActiveStyle;

// Windows 10's light colours: button face, white fields, the accent blue.
// Every text colour reads on its background with a contrast of at least
// 4.5:1 (the disabled ones too); the accent is a shade darker than Windows'
// own #0078D7, which gives white text 4.499:1.
QPalette LightPalette()
{
    QPalette p;
    const QColor face(0xf0, 0xf0, 0xf0), text(0x00, 0x00, 0x00), disabled(0x5f, 0x5f, 0x5f);
    p.setColor(QPalette::Window, face);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::AlternateBase, QColor(0xf7, 0xf7, 0xf7));
    p.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xe1));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0xe1, 0xe1, 0xe1));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, Qt::white);
    p.setColor(QPalette::Midlight, QColor(0xe3, 0xe3, 0xe3));
    p.setColor(QPalette::Mid, QColor(0xa0, 0xa0, 0xa0));
    p.setColor(QPalette::Dark, QColor(0x69, 0x69, 0x69));
    p.setColor(QPalette::Shadow, QColor(0x41, 0x41, 0x41));
    p.setColor(QPalette::Highlight, QColor(0x00, 0x76, 0xd4));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x00, 0x66, 0xcc));
    p.setColor(QPalette::LinkVisited, QColor(0x80, 0x00, 0x80));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, face);
    return p;
}

// Windows 10's dark colours, every text colour again at 4.5:1 or more on
// its background: the disabled grey (#808080 would give 3.6:1 on a disabled
// edit) and the accent as on the light look.
QPalette DarkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2b), text(0xf0, 0xf0, 0xf0), disabled(0xa0, 0xa0, 0xa0);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
    p.setColor(QPalette::ToolTipBase, QColor(0x3c, 0x3c, 0x3c));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xff, 0x55, 0x55));
    p.setColor(QPalette::Light, QColor(0x55, 0x55, 0x55));
    p.setColor(QPalette::Midlight, QColor(0x44, 0x44, 0x44));
    p.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x30));
    p.setColor(QPalette::Dark, QColor(0x1a, 0x1a, 0x1a));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0x00, 0x76, 0xd4));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x4c, 0xa6, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xc0, 0x8c, 0xff));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0x2b, 0x2b, 0x2b));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x33, 0x33, 0x33));
    return p;
}

// The owner-drawn tabs on the dark look: the window's colour with light
// captions, like the rest of the window.
QPalette DarkTabPalette()
{
    QPalette p = DarkPalette();
    p.setColor(QPalette::Button, p.color(QPalette::Window));
    return p;
}

}  // namespace

QStringList StyleNames() { return {QStringLiteral("Windows10"), QStringLiteral("Windows10 Dark")}; }

bool TrySetStyle(const QString& name, bool showErrorDialog)
{
    const QStringList names = StyleNames();
    if (!names.contains(name)) {
        if (showErrorDialog)
            ShowMessage(QStringLiteral("スタイル '%1' が見つかりません").arg(name));
        return false;
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (name == names[1]) {
        QApplication::setPalette(DarkPalette());
        QApplication::setPalette(DarkTabPalette(), "QTabBar");
    } else {
        QApplication::setPalette(LightPalette());
        QApplication::setPalette(LightPalette(), "QTabBar");
    }
    gActiveStyle = name;
    return true;
}

QString ActiveStyleName() { return gActiveStyle; }

QColor SelectedTabColour()
{
    const QStringList names = StyleNames();
    if (gActiveStyle == names[0])
        return QColor(0xc0, 0x00, 0x00);   // 4.95:1 on the light tabs
    if (gActiveStyle == names[1])
        return QColor(0xff, 0x6b, 0x6b);   // 5.10:1 on the dark tabs
    return QColor(0xff, 0x00, 0x00);
}
