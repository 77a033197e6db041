#include "text/codec.h"

#include <QStringDecoder>
#include <QStringEncoder>

// The converters carry no state between calls (Stateless), so one of each per thread is
// enough; making a converter costs an ICU lookup that would dominate per-item calls.
QString ToQString(const Text& text) {
    thread_local QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    const Text bytes = UpToFirstZero(text);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

Text ToText(const QString& string) {
    thread_local QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(string);
    return UpToFirstZero(Text(bytes.constData(), static_cast<size_t>(bytes.size())));
}

Text FromUtf8(const char* utf8) {
    return ToText(QString::fromUtf8(utf8));
}
