#pragma once

#include <QDialog>

class QLabel;

// What Kestrelwatch is and where its parts come from: the version, the licence, the project page, the local
// help page (so a desktop without a browser still learns where it is) and the data sources with their dates.
class AboutDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutDialog)

public:
    static const QString ProjectPage;
    static const QString Licence;

    // helpPage: the local help page's file; its place is shown as selectable text.
    explicit AboutDialog(const QString& helpPage, QWidget* parent = nullptr);
    ~AboutDialog() override;

    // The dialog's text without markup, for tests and screen readers.
    QString text() const;

private:
    QLabel* m_body = nullptr;
};
