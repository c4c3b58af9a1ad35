#pragma once

#include <QString>
#include <QStringList>

class BackendModule;

/** Where alert sounds go: the one seam between the alert handler and the sound system. */
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    /** Starts playing the existing file @p path and returns at once. */
    virtual void play(const QString &path) = 0;
};

/**
 * Plays through Qt Multimedia, in the sound module loaded by the first sound.
 * A machine without an audio output, or without the module, plays nothing;
 * that is logged once.
 */
class QSoundPlayer : public SoundPlayer
{
public:
    void play(const QString &path) override;
    /** The sound module (libquorvane-sound.so). */
    static BackendModule &module();

private:
    enum class Output { Unknown, Present, Missing };
    Output m_output = Output::Unknown;
    void (*m_play)(const QString &) = nullptr;
};

/** Keeps what would have been played, in order (tests, and a window without sound). */
class RecordingSoundPlayer : public SoundPlayer
{
public:
    void play(const QString &path) override { played.append(path); }
    QStringList played;
};
