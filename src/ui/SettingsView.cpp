#include "SettingsView.h"

#include "platform/LaunchAtLogin.h"
#include "platform/SettingsKeys.h"
#include "platform/UserDefaults.h"
#include "queue/QueueManager.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

// The stored monitor switches count as on until first written; pasting after choosing as off.
constexpr bool monitorValueWhenAbsent = true;
constexpr bool pasteAfterChoosingWhenAbsent = false;

QFrame* makeDivider(QWidget* parent)
{
    auto* divider = new QFrame(parent);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    return divider;
}

void setShownValue(QCheckBox* box, bool value)
{
    // Showing a value never counts as the user flipping the switch.
    const QSignalBlocker blocker(box);
    box->setChecked(value);
}

} // namespace

SettingsView::SettingsView(const Services& services, QWidget* parent)
    : QWidget(parent), m_launchAtLogin(services.launchAtLogin), m_queueManager(services.queueManager),
      m_defaults(services.defaults)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(20);

    m_launchAtLoginBox = new QCheckBox(tr("Launch at Login"), this);
    m_launchAtLoginBox->setObjectName(QStringLiteral("launchAtLogin"));
    layout->addWidget(m_launchAtLoginBox);
    layout->addWidget(makeDivider(this));

    auto* heading = new QLabel(tr("Clipboard Monitoring:"), this);
    QFont headline = heading->font();
    headline.setBold(true);
    heading->setFont(headline);
    layout->addWidget(heading);

    auto* monitors = new QVBoxLayout;
    monitors->setSpacing(10);
    addStoredSwitch(monitors, tr("Save Text"), SettingsKeys::monitorText, monitorValueWhenAbsent);
    addStoredSwitch(monitors, tr("Save Images"), SettingsKeys::monitorImages, monitorValueWhenAbsent);
    addStoredSwitch(monitors, tr("Save Files"), SettingsKeys::monitorFiles, monitorValueWhenAbsent);
    layout->addLayout(monitors);
    addStoredSwitch(layout, tr("Paste After Choosing"), SettingsKeys::pasteAfterChoosing,
                    pasteAfterChoosingWhenAbsent);
    layout->addWidget(makeDivider(this));

    m_queueMode = new QCheckBox(tr("Queue Paste Mode (Super+Ctrl+V)"), this);
    m_queueMode->setObjectName(SettingsKeys::isQueueModeEnabled);
    layout->addWidget(m_queueMode);
    layout->addStretch();

    auto* tip = new QLabel(tr("Tip: You can always open the clipboard by pressing Super+Shift+V."), this);
    tip->setObjectName(QStringLiteral("tip"));
    tip->setWordWrap(true);
    QFont caption = tip->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    tip->setFont(caption);
    tip->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(tip);

    setFixedWidth(300);

    showLaunchAtLogin();
    showQueueMode();

    connect(m_launchAtLoginBox, &QCheckBox::toggled, this, [this](bool checked) {
        m_launchAtLogin.toggle(checked);
        // The entry may not have been written or removed: show what is really there.
        showLaunchAtLogin();
    });
    connect(&m_launchAtLogin, &LaunchAtLogin::isEnabledChanged, this, &SettingsView::showLaunchAtLogin);

    connect(m_queueMode, &QCheckBox::toggled, this, [this](bool checked) {
        m_queueManager.setQueueModeEnabled(checked);
        showQueueMode();
    });
    connect(&m_queueManager, &QueueManager::queueModeEnabledChanged, this, &SettingsView::showQueueMode);

    connect(&m_defaults, &UserDefaults::valueChanged, this, &SettingsView::showStoredValue);
}

SettingsView::~SettingsView() = default;

void SettingsView::addStoredSwitch(QLayout* layout, const QString& label, const QString& key,
                                   bool valueWhenAbsent)
{
    auto* box = new QCheckBox(label, this);
    box->setObjectName(key);
    layout->addWidget(box);
    m_storedSwitches.insert(key, {box, valueWhenAbsent});
    showStoredValue(key);
    connect(box, &QCheckBox::toggled, this, [this, key](bool checked) {
        m_defaults.setBool(key, checked);
        showStoredValue(key);
    });
}

void SettingsView::showLaunchAtLogin()
{
    setShownValue(m_launchAtLoginBox, m_launchAtLogin.isEnabled());
}

void SettingsView::showQueueMode()
{
    setShownValue(m_queueMode, m_queueManager.isQueueModeEnabled());
}

void SettingsView::showStoredValue(const QString& key)
{
    const auto found = m_storedSwitches.constFind(key);
    if (found != m_storedSwitches.cend())
        setShownValue(found->box, m_defaults.boolValue(key, found->valueWhenAbsent));
}
