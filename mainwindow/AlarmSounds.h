#pragma once

#include <QString>
#include <array>
#include <memory>

class WavePlayer;

// The window's four sounds, each in its own player: the three alerts (opened at start-up) and the button
// click (opened at its first use). It counts what it was asked to play, for tests and a silent machine alike.
class AlarmSounds final
{
public:
    enum Sound { NewIntruder = 0, IntruderOnline = 1, StillOnline = 2, ButtonClick = 3 };

    explicit AlarmSounds(QString folder);
    ~AlarmSounds();
    AlarmSounds(const AlarmSounds&) = delete;
    AlarmSounds& operator=(const AlarmSounds&) = delete;

    // The three alert players, on their files in the sounds folder.
    void open();
    void play(Sound sound, int volume);
    WavePlayer* player(int which) const;
    int playCount(int which) const { return which >= 0 && which < 4 ? m_playCounts[size_t(which)] : 0; }

private:
    QString m_folder;
    std::array<std::unique_ptr<WavePlayer>, 4> m_players;
    std::array<int, 4> m_playCounts {};
};
