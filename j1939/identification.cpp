#include "j1939/identification.h"

namespace j1939 {

namespace {

bool isPadding(char c)
{
    return c == ' ' || c == '\0' || c == char(0xFF);
}

int withoutPadding(const char *text, int size, bool star)
{
    while (size > 0 && (isPadding(text[size - 1]) || (star && text[size - 1] == '*')))
        --size;
    return size;
}

} // namespace

QStringList textFields(const quint8 *data, int size)
{
    const char *text = reinterpret_cast<const char *>(data);
    const int length = withoutPadding(text, size, true);
    QStringList fields;
    if (length == 0)
        return fields;
    int start = 0;
    for (int i = 0; i <= length; ++i) {
        if (i == length || text[i] == '*') {
            fields.append(QString::fromLatin1(text + start, withoutPadding(text + start, i - start, false)));
            start = i + 1;
        }
    }
    return fields;
}

QString vehicleIdentification(const quint8 *data, int size)
{
    return textFields(data, size).value(0);
}

ComponentIdentification componentIdentification(const quint8 *data, int size)
{
    const QStringList fields = textFields(data, size);
    return {fields.value(0), fields.value(1), fields.value(2), fields.value(3)};
}

QStringList softwareIdentification(const quint8 *data, int size)
{
    if (size < 1)
        return {};
    QStringList fields = textFields(data + 1, size - 1);
    if (fields.size() > data[0])
        fields.erase(fields.begin() + data[0], fields.end());
    return fields;
}

} // namespace j1939
