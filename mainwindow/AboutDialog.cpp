#include "mainwindow/AboutDialog.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#ifndef KW_IEEE_DATE
#define KW_IEEE_DATE "unknown"
#endif
#ifndef KW_BUILD_DATE
#define KW_BUILD_DATE "unknown"
#endif

const QString AboutDialog::ProjectPage = QStringLiteral("https://www.brackmoor.org/kestrelwatch/");
const QString AboutDialog::Licence = QStringLiteral("GPL-3.0-or-later");

namespace {

QString row(const QString& name, const QString& value)
{
    return QStringLiteral(
        "<tr><td style='padding:0 12px 6px 0' valign='top'><b>%1</b></td><td style='padding-bottom:6px'>%2</td></tr>")
        .arg(name, value);
}

} // namespace

AboutDialog::AboutDialog(const QString& helpPage, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Kestrelwatch"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("kestrelwatch")));

    const QString help = helpPage.toHtmlEscaped();
    QString html = QStringLiteral("<h2>Kestrelwatch %1</h2>").arg(QStringLiteral(KW_VERSION));
    html += QStringLiteral("<p>Watches your local network and tells you when a device it does not know joins it.</p>");
    html += QStringLiteral("<table>");
    html += row(QStringLiteral("Licence"),
        QStringLiteral("GNU General Public License, version 3 or any later version (%1). Kestrelwatch is free "
                       "software: you may share and change it under those terms. It comes with no warranty.")
            .arg(Licence));
    html += row(QStringLiteral("Project page"), QStringLiteral("<a href='%1'>%1</a>").arg(ProjectPage));
    html += row(QStringLiteral("Help page"), help);
    html += row(QStringLiteral("Manufacturer names"),
        QStringLiteral("The IEEE registries (MA-L, MA-M, MA-S and IAB) as Debian's ieee-data package ships them, "
                       "dated %1")
            .arg(QStringLiteral(KW_IEEE_DATE)));
    html += row(QStringLiteral("Sounds and pictures"),
        QStringLiteral("Made by Kestrelwatch's own generators when this copy was built (%1); same licence")
            .arg(QStringLiteral(KW_BUILD_DATE)));
    html += QStringLiteral("</table>");

    m_body = new QLabel(html);
    m_body->setObjectName(QStringLiteral("aboutLabel"));
    m_body->setTextFormat(Qt::RichText);
    m_body->setWordWrap(true);
    m_body->setOpenExternalLinks(true);
    m_body->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_body->setMinimumWidth(fontMetrics().averageCharWidth() * 70);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setIcon(QIcon()); // the word alone, as in the settings dialog
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_body);
    layout->addWidget(buttons);
}

AboutDialog::~AboutDialog() = default;

QString AboutDialog::text() const
{
    QTextDocument doc;
    doc.setHtml(m_body->text());
    return doc.toPlainText();
}
