// The dialog's four tabs with their frames and controls. Layouts rather than fixed positions, so the dialog
// keeps its shape at any scale.
#include "settings/frmSettings.h"

#include "platform/DebugSink.h"
#include "settings/LogTextBox.h"
#include "settings/frmSettingsChannels.h"
#include "settings/frmSettingsMqtt.h"

#include <QCheckBox>
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

constexpr int VolumeMin = 0;
constexpr int VolumeMax = 100;
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

QIcon frmSettings::tabPicture(const QString& file) const
{
    const QString path = m_imagesDir + file;
    QImageReader reader(path);
    if (QFileInfo::exists(path) && reader.canRead()) {
        // addFile also picks up the @2x drawing beside it for high-density screens.
        QIcon icon;
        icon.addFile(path);
        return icon;
    }
    Log(QStringLiteral("frmSettings Form_Load - tab picture %1 cannot be read").arg(path));
    QPixmap blank(PictureSize);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

void frmSettings::buildTabs()
{
    m_sst1 = new QTabWidget(this);
    m_sst1->setObjectName(QStringLiteral("sst1"));
    m_sst1->setIconSize(PictureSize);
    addPage(buildGeneralPage(), tabPicture(QStringLiteral("General.bmp")), QStringLiteral("General"));
    addPage(buildAlertsPage(), tabPicture(QStringLiteral("Alerts.bmp")), QStringLiteral("Alerts"));
    addPage(buildEmailPage(), tabPicture(QStringLiteral("Email.bmp")), QStringLiteral("Email"));
    m_mqttPage = new frmSettingsMqtt(m_settings, m_base64);
    addPage(m_mqttPage, QIcon(), QStringLiteral("MQTT"));
    addPage(new frmSettingsChannels(m_settings), QIcon(), QStringLiteral("Push"));
    addPage(buildDebugPage(), tabPicture(QStringLiteral("Debug.bmp")), QStringLiteral("Debug log"));

    // The text box labels of all frames share one column width, so the boxes line up across frames.
    int labelWidth = m_flags[EmailAuthenticate]->sizeHint().width();
    for (QLabel* label : m_textLabels)
        labelWidth = qMax(labelWidth, label->sizeHint().width());
    for (QLabel* label : m_textLabels)
        label->setMinimumWidth(labelWidth);
    m_flags[EmailAuthenticate]->setMinimumWidth(labelWidth);

    // No OK or Cancel: each change is stored as it is made, which the line beside Close says.
    m_lblApplies = new QLabel(QStringLiteral("Changes apply at once."));
    m_lblApplies->setObjectName(QStringLiteral("lblApplies"));
    m_cmdClose = new QPushButton(QStringLiteral("Close"));
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_cmdClose->setToolTip(QStringLiteral("Puts the settings away; every change is kept already"));
    m_cmdClose->setAutoDefault(false);
    connect(m_cmdClose, &QPushButton::clicked, this, &frmSettings::closeBox);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_lblApplies, 1);
    bottom->addWidget(m_cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_sst1);
    layout->addLayout(bottom);
    resize(sizeHint().expandedTo(QSize(600, 460)));
}

int frmSettings::addPage(QWidget* page, const QIcon& icon, const QString& title)
{
    return m_sst1->addTab(page, icon, title);
}

QCheckBox* frmSettings::makeFlag(FlagId id)
{
    const Flag& flag = Flags[size_t(id)];
    auto* box = new QCheckBox(latin1(flag.caption));
    box->setObjectName(latin1(flag.control));
    if (flag.tooltip)
        box->setToolTip(latin1(flag.tooltip));
    m_flags[size_t(id)] = box;
    return box;
}

QLineEdit* frmSettings::makeText(TextId id)
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

QWidget* frmSettings::buildGeneralPage()
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
    m_slideVolume->setRange(VolumeMin, VolumeMax);
    m_slideVolume->setSingleStep(1);
    m_slideVolume->setPageStep(10);
    m_slideVolume->setTickInterval(10);
    m_slideVolume->setTickPosition(QSlider::TicksBelow);
    m_lblVolume = new QLabel;
    m_lblVolume->setObjectName(QStringLiteral("lblVolume"));
    m_lblVolume->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for the longest reading, so the slider does not jump while it moves.
    m_lblVolume->setMinimumWidth(m_lblVolume->fontMetrics().horizontalAdvance(QStringLiteral("-50.0 dB")) + 4);
    auto* audio = new QHBoxLayout;
    audio->addWidget(new QLabel(QStringLiteral("Quiet")));
    audio->addWidget(m_slideVolume, 1);
    audio->addWidget(new QLabel(QStringLiteral("Loud")));
    audio->addWidget(m_lblVolume);

    return page({frame(QStringLiteral("Window"), visual), frame(QStringLiteral("Start-up"), startup),
        frame(QStringLiteral("Device menus"), extended), frame(QStringLiteral("Alert volume"), audio)});
}

void frmSettings::showVolume(int value)
{
    // The level the alert sounds play at, in decibels.
    m_lblVolume->setText(QString::number((value * 50 - 5000) / 100.0, 'f', 1) + QStringLiteral(" dB"));
}

QWidget* frmSettings::buildAlertsPage()
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

QWidget* frmSettings::buildEmailPage()
{
    auto* server = new QGridLayout;
    server->addWidget(makeText(EmailServer), 0, 1);
    server->addWidget(m_textLabels[EmailServer], 0, 0);
    m_cmdTestEmail = new QPushButton(QStringLiteral("Send a test email"));
    m_cmdTestEmail->setToolTip(QStringLiteral("Sends one mail to the To addresses with these settings"));
    m_cmdTestEmail->setObjectName(QStringLiteral("cmdTestEmail"));
    m_cmdTestEmail->setAutoDefault(false);
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

QWidget* frmSettings::buildDebugPage()
{
    m_txtLog = new LogTextBox;
    m_txtLog->setObjectName(QStringLiteral("txtLog"));
    m_txtLog->setToolTip(QStringLiteral("What Kestrelwatch did lately, newest last"));

    QCheckBox* toDisk = makeFlag(LogToDisk);
    captionFirst(toDisk);
    m_lblLogPath = new QLabel;
    m_lblLogPath->setTextFormat(Qt::PlainText);
    m_lblLogPath->setObjectName(QStringLiteral("lblLogPath"));
    m_lblLogPath->setWordWrap(true);
    m_lblLogPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lblLogPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_cmdEmailTechnicalSupport = new QPushButton(QStringLiteral("Email"));
    m_cmdEmailTechnicalSupport->setObjectName(QStringLiteral("cmdEmailTechnicalSupport"));
    m_cmdEmailTechnicalSupport->setAutoDefault(false);
    // There is no support desk behind the program: the button mails this log to the address the installation
    // names (SupportAddress in Config.ini), for whoever looks after this computer.
    m_cmdEmailTechnicalSupport->setToolTip(
        QStringLiteral("Mails this debug log, through the mail settings, to the support address the installation "
                       "names (SupportAddress in Configs/Config.ini)"));
    auto* support =
        rightLabel(QStringLiteral("Mail this log to the installation's support address:"), m_cmdEmailTechnicalSupport);

    auto* grid = new QGridLayout;
    grid->addWidget(m_txtLog, 0, 0, 1, 2);
    grid->setRowStretch(0, 1);
    grid->addWidget(toDisk, 1, 0);
    grid->addWidget(m_lblLogPath, 1, 1);
    grid->addWidget(support, 2, 0);
    grid->addWidget(m_cmdEmailTechnicalSupport, 2, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);

    QGroupBox* debug = frame(QStringLiteral("Debug log"), grid);
    return page({debug}, debug);
}
