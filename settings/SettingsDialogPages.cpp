// The dialog's four tabs with their frames and controls. Layouts rather than fixed positions, so the dialog
// keeps its shape at any scale.
#include "settings/SettingsDialog.h"

#include "logging/DebugLog.h"
#include "platform/DebugSink.h"
#include "settings/LogTextBox.h"
#include "settings/MqttSettingsPage.h"
#include "settings/PushSettingsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace SettingsControls;

namespace {

constexpr QSize PictureSize {16, 16};

QGroupBox* frame(const QString& caption, QLayout* content)
{
    auto* box = new QGroupBox(caption);
    box->setLayout(content);
    return box;
}

QLabel* rightLabel(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setBuddy(buddy);
    return label;
}

QWidget* page(std::initializer_list<QWidget*> frames, QWidget* stretchy = nullptr)
{
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    for (QWidget* f : frames)
        layout->addWidget(f, f == stretchy ? 1 : 0);
    if (!stretchy)
        layout->addStretch(1);
    return widget;
}

// A check box whose caption stands before its box, like the labels of the text boxes beside it.
void captionFirst(QCheckBox* box)
{
    box->setLayoutDirection(Qt::RightToLeft);
}

} // namespace

QIcon SettingsDialog::tabPicture(const QString& file) const
{
    const QString path = m_imagesDir + file;
    QImageReader reader(path);
    if (QFileInfo::exists(path) && reader.canRead()) {
        // addFile also picks up the @2x drawing beside it for high-density screens.
        QIcon icon;
        icon.addFile(path);
        return icon;
    }
    Log(kwWindow, QStringLiteral("SettingsDialog Form_Load - tab picture %1 cannot be read").arg(path));
    QPixmap blank(PictureSize);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

void SettingsDialog::buildTabs()
{
    m_sst1 = new QTabWidget(this);
    m_sst1->setObjectName(QStringLiteral("sst1"));
    m_sst1->setIconSize(PictureSize);
    addPage(buildGeneralPage(), tabPicture(QStringLiteral("General.bmp")), QStringLiteral("General"));
    addPage(buildAlertsPage(), tabPicture(QStringLiteral("Alerts.bmp")), QStringLiteral("Alerts"));
    addPage(buildEmailPage(), tabPicture(QStringLiteral("Email.bmp")), QStringLiteral("Email"));
    m_mqttPage = new MqttSettingsPage(m_settings);
    addPage(m_mqttPage, QIcon(), QStringLiteral("MQTT"));
    addPage(new PushSettingsPage(m_settings), QIcon(), QStringLiteral("Push"));
    addPage(buildDebugPage(), tabPicture(QStringLiteral("Debug.bmp")), QStringLiteral("Debug log"));

    // The text box labels of all frames share one column width, so the boxes line up across frames.
    int labelWidth = m_flags[EmailAuthenticate]->sizeHint().width();
    for (QLabel* label : m_textLabels)
        labelWidth = qMax(labelWidth, label->sizeHint().width());
    for (QLabel* label : m_textLabels)
        label->setMinimumWidth(labelWidth);
    m_flags[EmailAuthenticate]->setMinimumWidth(labelWidth);

    // No OK or Cancel: each change is stored as it is made, which the line beside Close says.
    m_appliesLabel = new QLabel(QStringLiteral("Changes apply at once."));
    m_appliesLabel->setObjectName(QStringLiteral("appliesLabel"));
    m_closeButton = new QPushButton(QStringLiteral("Close"));
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setToolTip(QStringLiteral("Puts the settings away; every change is kept already"));
    m_closeButton->setAutoDefault(false);
    connect(m_closeButton, &QPushButton::clicked, this, &SettingsDialog::closeBox);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_appliesLabel, 1);
    bottom->addWidget(m_closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_sst1);
    layout->addLayout(bottom);
    resize(sizeHint().expandedTo(QSize(600, 460)));
}

int SettingsDialog::addPage(QWidget* page, const QIcon& icon, const QString& title)
{
    return m_sst1->addTab(page, icon, title);
}

QCheckBox* SettingsDialog::makeFlag(FlagId id)
{
    const Flag& flag = Flags[size_t(id)];
    auto* box = new QCheckBox(latin1(flag.caption));
    box->setObjectName(latin1(flag.control));
    if (flag.tooltip)
        box->setToolTip(latin1(flag.tooltip));
    m_flags[size_t(id)] = box;
    return box;
}

QLineEdit* SettingsDialog::makeText(TextId id)
{
    const Text& t = Texts[size_t(id)];
    auto* box = new QLineEdit;
    box->setObjectName(latin1(t.control));
    if (t.tooltip)
        box->setToolTip(latin1(t.tooltip));
    m_texts[size_t(id)] = box;
    m_textLabels[size_t(id)] = rightLabel(latin1(t.label), box);
    return box;
}

QWidget* SettingsDialog::buildGeneralPage()
{
    auto* visual = new QVBoxLayout;
    visual->addWidget(makeFlag(ReCentre));
    visual->addWidget(makeFlag(AlwaysOnTop));
    auto* startup = new QVBoxLayout;
    startup->addWidget(makeFlag(GeneralStartup));
    auto* extended = new QVBoxLayout;
    extended->addWidget(makeFlag(ExternalPrograms));

    // The slider's position v sets the alert sounds to v * 50 - 5000 hundredths of a decibel: 100 is full
    // volume, 70 is -15 dB, 0 is -50 dB (very quiet, never muted).
    m_slideVolume = new QSlider(Qt::Horizontal);
    m_slideVolume->setObjectName(QStringLiteral("slideVolume"));
    m_slideVolume->setToolTip(QStringLiteral("How loud the alert sounds play"));
    m_slideVolume->setRange(SettingsTable::byKey("Volume").min, SettingsTable::byKey("Volume").max);
    m_slideVolume->setSingleStep(1);
    m_slideVolume->setPageStep(10);
    m_slideVolume->setTickInterval(10);
    m_slideVolume->setTickPosition(QSlider::TicksBelow);
    m_volumeLabel = new QLabel;
    m_volumeLabel->setObjectName(QStringLiteral("volumeLabel"));
    m_volumeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for the longest reading, so the slider does not jump while it moves.
    m_volumeLabel->setMinimumWidth(m_volumeLabel->fontMetrics().horizontalAdvance(QStringLiteral("-50.0 dB")) + 4);
    auto* audio = new QHBoxLayout;
    audio->addWidget(new QLabel(QStringLiteral("Quiet")));
    audio->addWidget(m_slideVolume, 1);
    audio->addWidget(new QLabel(QStringLiteral("Loud")));
    audio->addWidget(m_volumeLabel);

    return page({frame(QStringLiteral("Window"), visual), frame(QStringLiteral("Start-up"), startup),
        frame(QStringLiteral("Device menus"), extended), frame(QStringLiteral("Alert volume"), audio)});
}

void SettingsDialog::showVolume(int value)
{
    // The level the alert sounds play at, in decibels.
    m_volumeLabel->setText(QString::number((value * 50 - 5000) / 100.0, 'f', 1) + QStringLiteral(" dB"));
}

QWidget* SettingsDialog::buildAlertsPage()
{
    auto* newer = new QVBoxLayout;
    for (FlagId id : {NewIntruderSound, NewIntruderPopup, NewIntruderNotify, NewIntruderEmail})
        newer->addWidget(makeFlag(id));
    auto* online = new QVBoxLayout;
    for (FlagId id :
        {OnlineIntruderSound, OnlineIntruderPopup, OnlineIntruderNotify, OnlineIntruderEmail, OnlineIntruderReminder})
        online->addWidget(makeFlag(id));
    auto* returning = new QVBoxLayout;
    returning->addWidget(makeFlag(MergeReturningDevices));
    return page({frame(QStringLiteral("When a new intruder is found"), newer),
        frame(QStringLiteral("When a known intruder comes back online"), online),
        frame(QStringLiteral("When a known device comes back with a new private address"), returning)});
}

QWidget* SettingsDialog::buildEmailPage()
{
    auto* server = new QGridLayout;
    server->addWidget(makeText(EmailServer), 0, 1);
    server->addWidget(m_textLabels[EmailServer], 0, 0);
    m_testEmailButton = new QPushButton(QStringLiteral("Send a test email"));
    m_testEmailButton->setToolTip(QStringLiteral("Sends one mail to the To addresses with these settings"));
    m_testEmailButton->setObjectName(QStringLiteral("testEmailButton"));
    m_testEmailButton->setAutoDefault(false);
    buildMailSecurity(server);
    server->setColumnStretch(1, 1);

    auto* addresses = new QGridLayout;
    addresses->addWidget(makeText(EmailAddresses), 0, 1);
    addresses->addWidget(m_textLabels[EmailAddresses], 0, 0);
    addresses->addWidget(makeText(EmailFrom), 1, 1);
    addresses->addWidget(m_textLabels[EmailFrom], 1, 0);
    addresses->setColumnStretch(1, 1);

    auto* login = new QGridLayout;
    QCheckBox* authenticate = makeFlag(EmailAuthenticate);
    captionFirst(authenticate);
    login->addWidget(authenticate, 0, 0);
    login->addWidget(makeText(EmailUsername), 1, 1);
    login->addWidget(m_textLabels[EmailUsername], 1, 0);
    login->addWidget(makeText(EmailPassword), 2, 1);
    login->addWidget(m_textLabels[EmailPassword], 2, 0);
    m_texts[EmailPassword]->setEchoMode(QLineEdit::Password);
    login->setColumnStretch(1, 1);

    m_texts[EmailServer]->setPlaceholderText(QStringLiteral("host or host:port"));
    return page({frame(QStringLiteral("Outgoing mail server"), server), frame(QStringLiteral("Addresses"), addresses),
        frame(QStringLiteral("Login"), login)});
}

QWidget* SettingsDialog::buildDebugPage()
{
    m_logEdit = new LogTextBox;
    m_logEdit->setObjectName(QStringLiteral("logEdit"));
    m_logEdit->setToolTip(QStringLiteral("What Kestrelwatch did lately, newest last"));
    // One area's lines alone, by the area each line names.
    auto* areas = new QComboBox;
    areas->setObjectName(QStringLiteral("logAreaCombo"));
    areas->setToolTip(QStringLiteral("Shows the lines of one part of Kestrelwatch alone"));
    areas->addItem(QStringLiteral("Every area"), QString());
    for (const LogAreas::Area& area : LogAreas::all())
        areas->addItem(area.words, area.name);
    connect(areas, &QComboBox::currentIndexChanged, this, [this, areas] {
        m_logEdit->setArea(areas->currentData().toString());
        m_logEdit->showTail(m_debugLog.text());
    });

    QCheckBox* toDisk = makeFlag(LogToDisk);
    captionFirst(toDisk);
    m_logPathLabel = new QLabel;
    m_logPathLabel->setTextFormat(Qt::PlainText);
    m_logPathLabel->setObjectName(QStringLiteral("logPathLabel"));
    m_logPathLabel->setWordWrap(true);
    m_logPathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_logPathLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_emailTechnicalSupportButton = new QPushButton(QStringLiteral("Email"));
    m_emailTechnicalSupportButton->setObjectName(QStringLiteral("emailTechnicalSupportButton"));
    m_emailTechnicalSupportButton->setAutoDefault(false);
    // There is no support desk behind the program: the button mails this log to the address the installation
    // names (SupportAddress in Config.ini), for whoever looks after this computer.
    m_emailTechnicalSupportButton->setToolTip(
        QStringLiteral("Mails this debug log, through the mail settings, to the support address the installation "
                       "names (SupportAddress in Configs/Config.ini)"));
    auto* support = rightLabel(
        QStringLiteral("Mail this log to the installation's support address:"), m_emailTechnicalSupportButton);

    auto* grid = new QGridLayout;
    grid->addWidget(rightLabel(QStringLiteral("Show:"), areas), 0, 0);
    grid->addWidget(areas, 0, 1, Qt::AlignLeft);
    grid->addWidget(m_logEdit, 1, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->addWidget(toDisk, 2, 0);
    grid->addWidget(m_logPathLabel, 2, 1);
    grid->addWidget(support, 3, 0);
    grid->addWidget(m_emailTechnicalSupportButton, 3, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);

    QGroupBox* debug = frame(QStringLiteral("Debug log"), grid);
    return page({debug}, debug);
}
