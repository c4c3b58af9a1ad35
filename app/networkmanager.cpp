#include "networkmanager.h"

void startNetworkManager(QMainWindow *window)
{
    // No network manager yet: the program runs without connections.
    (void)window;
}
