#include "platform/regional.h"

#include "platform/locale_rules.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace zentrel::platform {

namespace {

// The user's locale for one category, or the C locale when the environment
// names one that is not installed. Never touches the process's own locale.
locale_t open_user_locale(int category_mask) {
    locale_t locale = newlocale(category_mask, "", static_cast<locale_t>(nullptr));
    if (!locale) locale = newlocale(category_mask, "C", static_cast<locale_t>(nullptr));
    return locale;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

Regional_Settings Regional_Settings::from_environment() {
    locale_t time_locale = open_user_locale(LC_TIME_MASK);
    locale_t numeric_locale = open_user_locale(LC_NUMERIC_MASK);
    if (!time_locale || !numeric_locale) {
        if (time_locale) freelocale(time_locale);
        if (numeric_locale) freelocale(numeric_locale);
        return Regional_Settings{};
    }
    Regional_Settings rules =
        rules_from_langinfo(nl_langinfo_l(D_FMT, time_locale), nl_langinfo_l(T_FMT, time_locale),
                            nl_langinfo_l(RADIXCHAR, numeric_locale), nl_langinfo_l(THOUSEP, numeric_locale));
    freelocale(time_locale);
    freelocale(numeric_locale);
    return rules;
}

Regional_Settings Regional_Settings::german() {
    Regional_Settings rules;
    rules.decimal_separator = ',';
    rules.thousands_separator = '.';
    rules.date_order = Date_Order::Day_Month_Year;
    rules.date_separator = '.';
    rules.time_separator = ':';
    rules.leading_zero_day = true;
    rules.leading_zero_month = true;
    rules.four_digit_year = true;
    return rules;
}

std::string format_three_decimals(double value, const Regional_Settings& rules) {
    // to_chars is independent of the process's locale, which the window's
    // toolkit sets from the environment.
    char buffer[400];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    if (error != std::errc{}) return {};
    std::string text(buffer, end);
    if (text == "-0.000") text.erase(0, 1);
    if (auto point = text.find('.'); point != std::string::npos) text[point] = rules.decimal_separator;
    return text;
}

std::optional<double> parse_number(const std::string& text, const Regional_Settings& rules) {
    std::size_t i = 0, n = text.size();
    while (i < n && is_blank(text[i])) ++i;
    while (n > i && is_blank(text[n - 1])) --n;

    // Rebuilt in the form from_chars reads: sign, digits, '.', digits, exponent.
    std::string plain;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') plain += '-';
        ++i;
    }
    auto is_digit = [&](std::size_t k) { return k < n && text[k] >= '0' && text[k] <= '9'; };
    bool digits = false;
    while (i < n) {
        if (is_digit(i)) {
            plain += text[i++];
            digits = true;
        } else if (rules.thousands_separator != '\0' && text[i] == rules.thousands_separator &&
                   text[i] != rules.decimal_separator && digits && is_digit(i + 1)) {
            ++i;
        } else {
            break;
        }
    }
    if (i < n && text[i] == rules.decimal_separator) {
        plain += '.';
        ++i;
        while (is_digit(i)) {
            plain += text[i++];
            digits = true;
        }
    }
    if (!digits) return std::nullopt;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        if (!is_digit(i)) return std::nullopt;
        while (is_digit(i)) plain += text[i++];
    }
    if (i != n) return std::nullopt;

    double value = 0;
    auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc{} || end != plain.data() + plain.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace zentrel::platform
