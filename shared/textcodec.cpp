#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vok {

bool isValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        unsigned char c = *p;
        int follow;
        char32_t cp;
        if (c < 0x80) {
            ++p;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            follow = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            follow = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            follow = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= follow)
            return false;
        for (int i = 1; i <= follow; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[follow] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += follow + 1;
    }
    return true;
}

TextEncoding detectEncoding(std::string_view bytes)
{
    return isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
}

QString decodeText(std::string_view bytes)
{
    QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Most texts (numbers, keys) are plain ASCII.
    bool ascii = true;
    for (char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return QString::fromLatin1(view);
    if (isValidUtf8(bytes))
        return QString::fromUtf8(view);
    QStringDecoder decoder("Shift_JIS");
    if (!decoder.isValid())
        return QString::fromLatin1(view);
    return decoder.decode(view);
}

std::string encodeText(const QString& text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        return text.toStdString();
    QStringEncoder encoder("Shift_JIS");
    if (!encoder.isValid())
        return text.toStdString();
    QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace vok
