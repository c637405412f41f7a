#include "host/reachline.h"

#include "host/hosttexts.h"
#include "platform/fonts.h"
#include "platform/localaddresses.h"
#include "platform/reachability.h"
#include "platform/twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QSettings>
#include <QTimer>

namespace {

// In twips, like every control of the window: below the small submarine's frame, left
// of the Esc hint, where the window has nothing else.
constexpr int left = 3330, top = 10080, width = 9300;
constexpr int checkHeight = 300, labelTop = top + checkHeight + 45, labelHeight = 1500;

const QString settingKey = QStringLiteral("router/openPort");

QSettings settings()
{
    return QSettings(QStringLiteral("Kelvaro"), QStringLiteral("morsk"));
}

} // namespace

bool ReachLine::savedChoice()
{
    return settings().value(settingKey, true).toBool();
}

ReachLine::ReachLine(QWidget &window, Reachability &reach, quint16 port)
    : QObject(&window), m_reach(reach), m_port(port)
{
    m_check = new QCheckBox(hosttexts::openRouter, &window);
    m_check->setFont(fonts::window());
    m_check->setGeometry(twips::rect(left, top, width, checkHeight));
    m_check->setChecked(savedChoice());
    m_label = new QLabel(&window);
    m_label->setFont(fonts::window());
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_label->setGeometry(twips::rect(left, labelTop, width, labelHeight));

    m_reach.setRouterAllowed(m_check->isChecked());
    connect(m_check, &QCheckBox::toggled, this, [this](bool on) {
        settings().setValue(settingKey, on);
        m_reach.setRouterAllowed(on);
    });
    // Laying out a line of Japanese text costs a few milliseconds: the line is written
    // from the event loop, after the window has been shown, and once for the changes
    // that came together.
    m_update.setSingleShot(true);
    m_update.setInterval(0);
    connect(&m_update, &QTimer::timeout, this, &ReachLine::show);
    connect(&m_reach, &Reachability::routerStatusChanged, &m_update, qOverload<>(&QTimer::start));
    m_update.start();
}

void ReachLine::show()
{
    m_label->setText(hosttexts::reachLine(m_reach.routerStatus(), localaddresses::lan(),
                                          localaddresses::globalIPv6(), m_port));
}
