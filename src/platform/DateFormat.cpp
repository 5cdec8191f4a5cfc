#include "platform/DateFormat.h"

#include <QTimeZone>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <memory>

QString formatDate(Date date, DateStyle style, const QLocale& locale, const QByteArray& timeZoneId)
{
    icu::DateFormat::EStyle icuStyle = icu::DateFormat::kMedium;
    switch (style) {
    case DateStyle::Abbreviated: icuStyle = icu::DateFormat::kMedium; break;
    case DateStyle::Long: icuStyle = icu::DateFormat::kLong; break;
    case DateStyle::Complete: icuStyle = icu::DateFormat::kFull; break;
    }
    const QByteArray localeName = locale.bcp47Name().toUtf8();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale icuLocale = icu::Locale::forLanguageTag(localeName.constData(), status);
    if (U_FAILURE(status))
        icuLocale = icu::Locale::getUS();
    std::unique_ptr<icu::DateFormat> formatter(icu::DateFormat::createDateInstance(icuStyle, icuLocale));
    const QByteArray zone = timeZoneId.isEmpty() ? QTimeZone::systemTimeZoneId() : timeZoneId;
    if (formatter) {
        formatter->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone.constData())));
        icu::UnicodeString out;
        // ICU dates are milliseconds since 1970 as a double.
        formatter->format(date.secondsSince1970() * 1000.0, out);
        return QString(reinterpret_cast<const QChar*>(out.getBuffer()), out.length());
    }
    return date.toQDateTime().toTimeZone(QTimeZone(zone)).date().toString(Qt::ISODate);
}
