#include "platform/regional.h"

#include "platform/date_value.h"
#include "platform/locale_rules.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace zentrel::platform {
namespace {

const Regional_Settings German = Regional_Settings::german();

Regional_Settings us() { return rules_from_langinfo("%m/%d/%Y", "%r", ".", ","); }

TEST(Regional_Rules, LanginfoFormatsGiveOrderSeparatorsAndPadding) {
    Regional_Settings de = rules_from_langinfo("%d.%m.%Y", "%T", ",", ".");
    EXPECT_EQ(de.date_order, Date_Order::Day_Month_Year);
    EXPECT_EQ(de.date_separator, '.');
    EXPECT_EQ(de.time_separator, ':');
    EXPECT_EQ(de.decimal_separator, ',');
    EXPECT_EQ(de.thousands_separator, '.');
    EXPECT_TRUE(de.leading_zero_day && de.leading_zero_month && de.four_digit_year);

    Regional_Settings c = rules_from_langinfo("%m/%d/%y", "%H:%M:%S", ".", "");
    EXPECT_EQ(c.date_order, Date_Order::Month_Day_Year);
    EXPECT_EQ(c.date_separator, '/');
    EXPECT_FALSE(c.four_digit_year);
    EXPECT_EQ(c.thousands_separator, '\0');

    Regional_Settings iso = rules_from_langinfo("%F", "%H.%M.%S", ".", "\xe2\x80\xaf");
    EXPECT_EQ(iso.date_order, Date_Order::Year_Month_Day);
    EXPECT_EQ(iso.date_separator, '-');
    EXPECT_EQ(iso.time_separator, '.');
    EXPECT_EQ(iso.thousands_separator, '\0') << "a multibyte separator cannot be one byte";

    Regional_Settings bare = rules_from_langinfo("%e.%-m.%Y", "%H:%M", ",", ",");
    EXPECT_FALSE(bare.leading_zero_day);
    EXPECT_FALSE(bare.leading_zero_month);
    EXPECT_EQ(bare.thousands_separator, '\0') << "grouping with the decimal separator would be ambiguous";

    // Forms without a plain separator keep the defaults rather than guess.
    Regional_Settings cjk = rules_from_langinfo("%Y\xe5\xb9\xb4%m\xe6\x9c\x88%d\xe6\x97\xa5", "%H:%M:%S", ".", ",");
    EXPECT_EQ(cjk.date_order, Regional_Settings{}.date_order);
    EXPECT_EQ(cjk.date_separator, Regional_Settings{}.date_separator);
}

TEST(Regional_Rules, EnvironmentIsReadWithoutTouchingTheProcessLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    setenv("LC_ALL", "C", 1);
    Regional_Settings c = Regional_Settings::from_environment();
    EXPECT_EQ(c.decimal_separator, '.');
    EXPECT_EQ(c.date_order, Date_Order::Month_Day_Year);
    EXPECT_EQ(c.date_separator, '/');
    // A locale that is not installed falls back to the C rules.
    setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
    Regional_Settings missing = Regional_Settings::from_environment();
    EXPECT_EQ(missing.decimal_separator, '.');
    if (old)
        setenv("LC_ALL", saved.c_str(), 1);
    else
        unsetenv("LC_ALL");
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
}

TEST(Parse_Date, RegionalOrderSeparatorAndYears) {
    EXPECT_EQ(parse_date("01.02.2024", German), make_date_value(2024, 2, 1));
    EXPECT_EQ(parse_date("1.2.2024", German), make_date_value(2024, 2, 1));
    EXPECT_EQ(parse_date("  1.2.2024 ", German), make_date_value(2024, 2, 1));
    EXPECT_EQ(parse_date("1.2.24", German), make_date_value(2024, 2, 1));
    EXPECT_EQ(parse_date("1.2.00", German), make_date_value(2000, 2, 1));
    EXPECT_EQ(parse_date("1.2.29", German), make_date_value(2029, 2, 1));
    EXPECT_EQ(parse_date("1.2.30", German), make_date_value(1930, 2, 1));
    EXPECT_EQ(parse_date("1.2.99", German), make_date_value(1999, 2, 1));
    EXPECT_EQ(parse_date("1.1.100", German), make_date_value(100, 1, 1));
    EXPECT_EQ(parse_date("31.12.9999", German), make_date_value(9999, 12, 31));
    EXPECT_EQ(parse_date("29.02.2024", German), make_date_value(2024, 2, 29));
    EXPECT_EQ(parse_date("02/01/2024", us()), make_date_value(2024, 2, 1));
    EXPECT_EQ(parse_date("2024-02-01", rules_from_langinfo("%Y-%m-%d", "%T", ".", ",")), make_date_value(2024, 2, 1));
}

TEST(Parse_Date, WithTimeOrTimeAlone) {
    EXPECT_EQ(parse_date("01.02.2024 12:30", German), make_date_value(2024, 2, 1, 12, 30));
    EXPECT_EQ(parse_date("1.2.2024  7:05:09", German), make_date_value(2024, 2, 1, 7, 5, 9));
    EXPECT_EQ(parse_date("1.2.2024 23:59:59", German), make_date_value(2024, 2, 1, 23, 59, 59));
    EXPECT_EQ(parse_date("12:30", German), make_date_value(1899, 12, 30, 12, 30));
    EXPECT_EQ(parse_date("0:00:01", German), make_date_value(1899, 12, 30, 0, 0, 1));
}

TEST(Parse_Date, InternationalFormInAnyRegion) {
    for (const Regional_Settings& rules : {German, us()}) {
        EXPECT_EQ(parse_date("2026-12-08", rules), make_date_value(2026, 12, 8));
        EXPECT_EQ(parse_date(" 2026-12-08 14:30 ", rules), make_date_value(2026, 12, 8, 14, 30));
        EXPECT_EQ(parse_date("2026-12-08T14:30:05", rules), make_date_value(2026, 12, 8, 14, 30, 5));
        for (const char* text : {"2026-13-01", "2026-02-30", "2026-12-08T", "2026-12-08x14:30", "2026-12-08 25:00",
                                 "2026-12-8", "26-12-08", "2026-12-08 14.30"})
            EXPECT_EQ(parse_date(text, rules), std::nullopt) << text;
    }
}

TEST(Parse_Date, WhatIsNoDateGivesNothing) {
    for (const char* text : {"",
                             "   ",
                             "abc",
                             "31.02.2024",
                             "29.02.2023",
                             "31.04.2024",
                             "0.1.2024",
                             "1.0.2024",
                             "1.13.2024",
                             "32.1.2024",
                             "1.1.0099",
                             "1.1.10000",
                             "1.2.",
                             "1..2024",
                             ".1.2024",
                             "1.2.2024.",
                             "1.2.2024.5",
                             "1/2/2024",
                             "-1.2.2024",
                             "+1.2.2024",
                             "001.2.2024",
                             "1.2.2024 12",
                             "1.2.2024 x",
                             "1.2.2024 24:00",
                             "1.2.2024 12:60",
                             "1.2.2024 12:30:60",
                             "12:30 1.2.2024",
                             "12:",
                             ":30",
                             "1:2:3:4",
                             "1.2.2024\n12:30",
                             "\xff\xfe"}) {
        EXPECT_EQ(parse_date(text, German), std::nullopt) << '"' << text << '"';
    }
    // The US order reads a German date as month 31.
    EXPECT_EQ(parse_date("31/01/2024", us()), std::nullopt);
}

TEST(Format_Date, ShortFormWithTimeOnlyWhenThereIsOne) {
    EXPECT_EQ(format_date(make_date_value(2024, 2, 1), German), "01.02.2024");
    EXPECT_EQ(format_date(make_date_value(2024, 2, 1, 7, 5, 9), German), "01.02.2024 07:05:09");
    EXPECT_EQ(format_date(make_date_value(2024, 2, 1, 0, 0, 1), German), "01.02.2024 00:00:01");
    EXPECT_EQ(format_date(make_date_value(100, 1, 1), German), "01.01.0100");
    EXPECT_EQ(format_date(-1.25, German), "29.12.1899 06:00:00");
    EXPECT_EQ(format_date(make_date_value(2024, 2, 1), us()), "02/01/2024");

    Regional_Settings short_form = rules_from_langinfo("%-d.%-m.%y", "%H:%M:%S", ",", ".");
    EXPECT_EQ(format_date(make_date_value(2024, 2, 1, 13, 0), short_form), "1.2.24 13:00:00");
}

TEST(Format_Date, TypedDatesComeBackInTheRegionalForm) {
    EXPECT_EQ(format_date(*parse_date("1.2.2024", German), German), "01.02.2024");
    EXPECT_EQ(format_date(*parse_date("1.2.24 9:5", German), German), "01.02.2024 09:05:00");
    for (const char* text : {"01.02.2024", "29.02.2000 23:59:59", "01.01.0100 00:00:01", "31.12.9999 12:00:00"})
        EXPECT_EQ(format_date(*parse_date(text, German), German), text);
}

TEST(Three_Decimals, PatternZeroPointZeroZeroZero) {
    EXPECT_EQ(format_three_decimals(1.5, German), "1,500");
    EXPECT_EQ(format_three_decimals(1000.0, German), "1000,000");
    EXPECT_EQ(format_three_decimals(0.0, German), "0,000");
    EXPECT_EQ(format_three_decimals(1.000001, German), "1,000");
    EXPECT_EQ(format_three_decimals(999.9996, German), "1000,000");
    EXPECT_EQ(format_three_decimals(0.1234, German), "0,123");
    EXPECT_EQ(format_three_decimals(-0.0001, German), "0,000");
    EXPECT_EQ(format_three_decimals(1.5, us()), "1.500");
}

TEST(Parse_Number, RegionalSeparatorsSignAndExponent) {
    EXPECT_EQ(parse_number("1,5", German), 1.5);
    EXPECT_EQ(parse_number("1.000", German), 1000.0);
    EXPECT_EQ(parse_number("1.000.000,25", German), 1000000.25);
    EXPECT_EQ(parse_number("-2", German), -2.0);
    EXPECT_EQ(parse_number("+3", German), 3.0);
    EXPECT_EQ(parse_number(" 7 ", German), 7.0);
    EXPECT_EQ(parse_number(",5", German), 0.5);
    EXPECT_EQ(parse_number("5,", German), 5.0);
    EXPECT_EQ(parse_number("1e3", German), 1000.0);
    EXPECT_EQ(parse_number("1,5E-1", German), 0.15);
    EXPECT_EQ(parse_number("1,000.5", us()), 1000.5);
    EXPECT_EQ(parse_number("0", German), 0.0);

    for (const char* text : {"", " ", "abc", "1,2,3", ".5", "1..000", "1.", "1e", "1e+", "1e999", "0x10", "1 000",
                             "--1", "1-", ",", "e5", "1,5x", "\xff"})
        EXPECT_EQ(parse_number(text, German), std::nullopt) << '"' << text << '"';
}

}  // namespace
}  // namespace zentrel::platform
