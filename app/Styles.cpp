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
QPalette LightPalette()
{
    QPalette p;
    const QColor face(0xf0, 0xf0, 0xf0), text(0x00, 0x00, 0x00), disabled(0x6d, 0x6d, 0x6d);
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
    p.setColor(QPalette::Highlight, QColor(0x00, 0x78, 0xd7));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x00, 0x66, 0xcc));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, face);
    return p;
}

// Windows 10's dark colours.
QPalette DarkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2b), text(0xf0, 0xf0, 0xf0), disabled(0x80, 0x80, 0x80);
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
    p.setColor(QPalette::Highlight, QColor(0x00, 0x78, 0xd7));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x4c, 0xa6, 0xff));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0x2b, 0x2b, 0x2b));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x33, 0x33, 0x33));
    return p;
}

// The owner-drawn tabs paint their captions black and the selected one pure
// red on the page control's brush: on the dark look that brush stays light.
QPalette DarkTabPalette()
{
    QPalette p = DarkPalette();
    p.setColor(QPalette::Button, QColor(0xdc, 0xdc, 0xdc));
    p.setColor(QPalette::ButtonText, Qt::black);
    p.setColor(QPalette::Window, QColor(0xdc, 0xdc, 0xdc));
    p.setColor(QPalette::Light, Qt::white);
    p.setColor(QPalette::Dark, QColor(0x80, 0x80, 0x80));
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
