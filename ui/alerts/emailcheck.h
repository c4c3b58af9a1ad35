#pragma once

#include <QString>

/**
 * Whether the e-mail dialogs let @p text be added: it holds an "@" and a "."
 * and is longer than five characters. Nothing else is checked.
 */
bool emailTextAcceptable(const QString &text);
