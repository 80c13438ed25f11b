#include "mainwindow/AlarmSounds.h"

#include "mainwindow/WavePlayer.h"

namespace {

const char* const kPlayerFiles[] = {
    "New_Intruder.wav", "Intruder_Online.wav", "Intruder_Still_Online.wav", "Button_Click.wav"};

} // namespace

AlarmSounds::AlarmSounds(QString folder)
    : m_folder(std::move(folder))
{ }

AlarmSounds::~AlarmSounds() = default;

void AlarmSounds::open()
{
    for (int i = NewIntruder; i <= StillOnline; ++i) {
        m_players[size_t(i)] = std::make_unique<WavePlayer>();
        m_players[size_t(i)]->OpenFile(m_folder + QLatin1String(kPlayerFiles[i]));
    }
}

WavePlayer* AlarmSounds::player(int which) const
{
    return which >= 0 && which < int(m_players.size()) ? m_players[size_t(which)].get() : nullptr;
}

void AlarmSounds::play(Sound sound, int volume)
{
    ++m_playCounts[size_t(sound)];
    if (!m_players[size_t(sound)]) {
        if (sound != ButtonClick)
            return;
        m_players[size_t(sound)] = std::make_unique<WavePlayer>();
        m_players[size_t(sound)]->OpenFile(m_folder + QLatin1String(kPlayerFiles[sound]));
    }
    m_players[size_t(sound)]->Play(volume);
}
