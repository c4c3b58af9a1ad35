#include "sharedicons.h"

namespace {

// The asterisks are written with three leading characters, the others with
// two; both forms name the same compiled-in resource tree.
const char *const kPaths[SharedIcons::Count] = {
    "://icons/asterisk_red.png",
    "://icons/asterisk_yellow.png",
    "://icons/asterisk_green.png",
    "://icons/asterisk_gray.png",
    ":/icons/green_check.png",
    ":/icons/red_x.png",
    ":/icons/key.png",
};

QIcon *g_icons[SharedIcons::Count] = {};
bool g_loaded = false;

bool validId(SharedIcons::Id id)
{
    return id >= 0 && id < SharedIcons::Count;
}

} // namespace

namespace SharedIcons {

const char *resourcePath(Id id)
{
    return validId(id) ? kPaths[id] : "";
}

void load()
{
    if (g_loaded)
        return;
    g_loaded = true;
    for (int i = 0; i < Count; ++i)
        g_icons[i] = new QIcon(QString::fromLatin1(kPaths[i]));
}

bool isLoaded(Id id)
{
    return validId(id) && g_icons[id] != nullptr;
}

const QIcon &icon(Id id)
{
    static const QIcon null;
    if (!isLoaded(id))
        return null;
    return *g_icons[id];
}

void releaseSummaryIcons()
{
    for (Id id : {GreenCheck, RedX, Key}) {
        delete g_icons[id];
        g_icons[id] = nullptr;
    }
}

} // namespace SharedIcons
