#pragma once

#include "text/text.h"

#include <QString>

// Conversions between code page 936 bytes and the window's QString. Characters that
// code page 936 cannot hold become '?', as the Windows conversion does.
QString ToQString(const Text& text);
Text ToText(const QString& string);

// The code page 936 bytes of a UTF-8 literal, for the program's own captions, messages
// and markers, so the sources can spell them readably.
Text FromUtf8(const char* utf8);
