#pragma once

#include <Qt>

/**
 * The item data roles under which the window's lists keep what a row stands
 * for, beside its display texts. The numbers are fixed: the enabling rules
 * and every pane that reads a row use these.
 */
namespace ItemRoles {

/** Peer row: the peer's id (text holding an integer; an incoming connection's id contains "-"). */
constexpr int PeerId = Qt::UserRole + 2; // 258
/** Peer row: whether the peer has a live connection (bool). */
constexpr int PeerConnected = Qt::UserRole + 3; // 259
/** Peer row: whether the peer came from the directory server rather than the address book (bool). */
constexpr int PeerFromDirectory = Qt::UserRole + 4; // 260
/** Peer row: the id of the profile assigned to the peer (text; "0" follows the device's default). */
constexpr int PeerProfile = Qt::UserRole + 5; // 261
/** Profile row: the profile's id (text). */
constexpr int ProfileId = Qt::UserRole + 6; // 262
/** Profile row: the profile's name as the device has it (the default one's row shows it in brackets). */
constexpr int ProfileName = Qt::UserRole + 7; // 263
/** Profile row: the profile may not be edited or removed (the codec's built-in ones; bool). */
constexpr int ProfileNotEditable = Qt::UserRole + 8; // 264
/** Profile row: the profile is the device's default (bool). */
constexpr int ProfileDefault = Qt::UserRole + 9; // 265
/** Statistics row: the channel index of the connection the row shows (int). */
constexpr int ChannelIndex = Qt::UserRole + 10; // 266
/** Statistics row: the id of the peer the row's connection is with (int). */
constexpr int StatsPeerId = Qt::UserRole + 11; // 267

} // namespace ItemRoles
