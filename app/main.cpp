#include "myqapplication.h"
#include "startup.h"

int main(int argc, char *argv[])
{
    MyQApplication app(argc, argv);
    return runQuorvane(app);
}
