#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// The page's files (share/kestrelwatch/web): read once at start into memory, so a request can name only a file
// that was there then, never a path of its own making. "/" is index.html.
class WebFiles final
{
public:
    struct File
    {
        QByteArray type;
        QByteArray body;
    };

    explicit WebFiles(const QString& folder);
    // The file for a request path, or nullptr.
    const File* find(const QString& path) const;
    bool isEmpty() const { return m_files.isEmpty(); }

private:
    QHash<QString, File> m_files;
};
