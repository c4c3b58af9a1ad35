#pragma once

#include <QIcon>

/**
 * The seven icons several views share, created once at start-up and handed
 * out by reference. The summary pane releases the last three when it goes
 * away at exit; the others live until the process ends.
 */
namespace SharedIcons {

enum Id {
    AsteriskRed,
    AsteriskYellow,
    AsteriskGreen,
    AsteriskGray,
    GreenCheck,
    RedX,
    Key,
    Count
};

/** The compiled-in resource path of an icon. */
const char *resourcePath(Id id);

/** Creates the icons in the order of Id, once per process; later calls do nothing. */
void load();

/** True while the icon exists (after load(), before it is released). */
bool isLoaded(Id id);

/** The shared icon; a null icon when it is not loaded. */
const QIcon &icon(Id id);

/** Deletes GreenCheck, RedX and Key (the summary pane's, at exit). */
void releaseSummaryIcons();

} // namespace SharedIcons
