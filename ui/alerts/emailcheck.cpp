#include "emailcheck.h"

bool emailTextAcceptable(const QString &text)
{
    return text.contains(QLatin1Char('@')) && text.contains(QLatin1Char('.')) && text.size() > 5;
}
