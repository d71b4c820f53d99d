// Bounded formatting of the updater's one-argument message texts.
#ifndef QX_APP_MESSAGE_TEXT_H
#define QX_APP_MESSAGE_TEXT_H

#include "support/path_string.h"

// Writes format into out (QX_MAX_PATH bytes) with its first "%s" replaced by
// text. The text is inserted verbatim: a '%' in a title or path is not a
// directive. When the result would not fit, the text is cut at a character
// boundary (a double-byte character is never split) so that it does; the rest
// of the format always stands whole. Returns the result's length; 0 with out
// emptied when out or format is null or the format alone does not fit.
int FormatWithText(char* out, const char* format, const char* text);

// Size of a report's buffer: three lines of at most QX_MAX_PATH - 1 bytes,
// two line breaks and the NUL.
enum { QX_MAX_REPORT = 3 * QX_MAX_PATH + 2 };

// Writes into out (QX_MAX_REPORT bytes) the box of a run that stopped: format
// with path (as FormatWithText), then, when more is not 0, moreFormat with
// that count, then closing; CR LF between the lines. Returns the length.
int FormatReport(char* out, const char* format, const char* path, unsigned more,
                 const char* moreFormat, const char* closing);

#endif
