// The test-only generic plugin the end-to-end tests load into the program
// (QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS=qvdriver); the program itself
// knows nothing of it.

#include "uidriver.h"

#include <QGenericPlugin>

class DriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "qvdriver.json")

public:
    QObject *create(const QString &key, const QString &pluginArgument) override
    {
        if (key.compare(QLatin1String("qvdriver"), Qt::CaseInsensitive) != 0)
            return nullptr;
        const QString server = qEnvironmentVariable("QVDRIVER_SERVER", pluginArgument);
        if (server.isEmpty()) {
            qWarning("qvdriver: no server named (QVDRIVER_SERVER)");
            return nullptr;
        }
        return new UiDriver(server);
    }
};

#include "driverplugin.moc"
