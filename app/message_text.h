// Bounded formatting of the updater's one-argument message texts.
#ifndef QX_APP_MESSAGE_TEXT_H
#define QX_APP_MESSAGE_TEXT_H

// Writes format into out (QX_MAX_PATH bytes) with its first "%s" replaced by
// text. The text is inserted verbatim: a '%' in a title or path is not a
// directive. When the result would not fit, the text is cut at a character
// boundary (a double-byte character is never split) so that it does; the rest
// of the format always stands whole. Returns the result's length; 0 with out
// emptied when out or format is null or the format alone does not fit.
int FormatWithText(char* out, const char* format, const char* text);

#endif
