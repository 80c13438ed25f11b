// Date, Boolean, flag and byte texts read from the store: any text reads without fault (undefined
// behaviour included), and a date that is accepted lies in year 1 or later and reads back from its own written form.
#include "store/TextForms.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QList<QLocale> locales {QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Arabic, QLocale::Egypt)};
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    TextForms::parseBool(text);
    TextForms::flagValue(text);
    TextForms::parseByte(text);
    for (const QLocale& locale : locales) {
        const auto when = TextForms::parseDate(text, locale);
        if (when
            && (when->date().year() < 1 || TextForms::parseDate(TextForms::dateText(*when, locale), locale) != when))
            std::abort();
    }
    return 0;
}
