#pragma once
// Texts of the data files are kept as the bytes read. For display they are decoded here:
// UTF-8 when the bytes are valid UTF-8, else Shift_JIS (CP932).

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

namespace vok {

enum class TextEncoding { Utf8, ShiftJis };

bool isValidUtf8(std::string_view bytes);

// The encoding a whole file's bytes are in (the same rule as decodeText).
TextEncoding detectEncoding(std::string_view bytes);

QString decodeText(std::string_view bytes);
inline QString decodeText(const std::string& bytes) { return decodeText(std::string_view(bytes)); }

// Text typed by the user, encoded like the file it goes next to.
std::string encodeText(const QString& text, TextEncoding encoding);

} // namespace vok
