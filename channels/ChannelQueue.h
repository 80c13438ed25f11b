#pragma once

#include "channels/ChannelMessage.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

struct sqlite3;

// The push channels' delivery queue, kept in a small SQLite file of the user's folder (private, as every file
// there) so that what was not yet delivered survives a restart. Every change is written at once; the whole
// queue is held in memory too, in the order it came.
class ChannelQueue final
{
public:
    struct Item
    {
        qint64 id = 0;
        Channel channel = Channel::Webhook;
        QByteArray notice; // Notice::toStored
        QDateTime first; // queued
        QDateTime due; // next attempt
        int attempts = 0;
        bool sending = false; // in memory only
    };

    ChannelQueue() = default;
    ~ChannelQueue();
    ChannelQueue(const ChannelQueue&) = delete;
    ChannelQueue& operator=(const ChannelQueue&) = delete;

    // Opens (or creates) the file and loads what it holds; an error text when it cannot, and the queue then
    // lives in memory only.
    QString open(const QString& file);
    qint64 add(Channel channel, const QByteArray& notice, const QDateTime& now);
    void remove(qint64 id);
    void reschedule(qint64 id, const QDateTime& due, int attempts);

    std::vector<Item>& items() { return m_items; }
    const std::vector<Item>& items() const { return m_items; }
    Item* find(qint64 id);

private:
    bool exec(const char* sql, const std::vector<QVariant>& values = {});

    sqlite3* m_db = nullptr;
    std::vector<Item> m_items;
    qint64 m_nextId = 1;
};
