#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

// What the harnesses share: the input split in two at its first 0xFF byte (two files, or a text and a key),
// and a folder that lives for the whole run.
namespace fuzz {

inline std::pair<QByteArray, QByteArray> split(const uint8_t* data, size_t size)
{
    const QByteArray all(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = all.indexOf('\xff');
    return cut < 0 ? std::pair {all, QByteArray()} : std::pair {all.left(cut), all.mid(cut + 1)};
}

inline QString folder()
{
    static QTemporaryDir dir;
    return dir.path();
}

} // namespace fuzz
