#pragma once

// What the program and the sound module (libquorvane-sound.so) share.

#include <QString>

/** Whether the machine has an audio output to play on. */
using SoundOutputPresentFunction = bool (*)();
constexpr char SoundOutputPresentSymbol[] = "quorvane_sound_output_present";

/** Starts playing the file at @p path and returns at once (GUI thread). */
using SoundPlayFunction = void (*)(const QString &path);
constexpr char SoundPlaySymbol[] = "quorvane_sound_play";
