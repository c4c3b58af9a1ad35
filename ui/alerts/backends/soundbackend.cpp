// The sound module: alert sounds through Qt Multimedia, loaded on the first
// alert sound so that the program starts without the audio stack.

#include "soundbackend.h"

#include <QAudioDeviceInfo>
#include <QSound>

#include <type_traits>

extern "C" Q_DECL_EXPORT bool quorvane_sound_output_present()
{
    return !QAudioDeviceInfo::defaultOutputDevice().isNull();
}

extern "C" Q_DECL_EXPORT void quorvane_sound_play(const QString &path)
{
    QSound::play(path);
}

// The program looks the functions up by name: keep the names and the types together.
static_assert(std::is_same<decltype(&quorvane_sound_output_present), SoundOutputPresentFunction>::value, "");
static_assert(std::is_same<decltype(&quorvane_sound_play), SoundPlayFunction>::value, "");
