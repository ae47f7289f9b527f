// Operands with a unit of measure and a decimal prefix.
#include "ExprTestSupport.h"

#include <gtest/gtest.h>

namespace zep::test {
namespace {

TEST(Units, PrefixesScaleTheNumber) {
    ExpectRows({
        {"10MHz", "10000000"},    {"10MHz/4", "2500000"},
        {"3ms", "0.003"},         {"5mm", "0.005"},
        {"1.5GHz", "1500000000"}, {"1THz", "1000000000000"},
        {"1THz*1000", "1E+15"},   {"2KHz", "2000"},
        {"1uA", "1E-06"},         {"10pF", "1E-11"},
        {"5nS", "5E-09"},         {"5cm", "0.05"},
        {"5dm", "0.5"},           {"1DV", "10"},
        {"1HV", "100"},           {"4.7KOhm", "4700"},
        {"1Mohm", "1000000"},     {"10mbar", "0.01"},
        {"2mrad", "0.002"},       {".5V", "0.5"},
    });
}

TEST(Units, UnitsWithoutPrefix) {
    ExpectRows({
        {"5m", "5"},
        {"2s", "2"},
        {"3V*2A", "6"},
        {"5g", "0.005"},
        {"2Kg", "2"},
        {"1bar+2Pa+3Nm", "6"},
        {"1rad+1Rad+1RAD", "3"},
        {"4W+1F+1S", "6"},
        {"5Hz", "5"}, // read whole when "H" + "z" is no unit
        {"2mHz", "0.002"},
    });
}

TEST(Units, WhatIsNotANumberWithUnit) {
    ExpectRows({
        // A one-letter unit is never split into prefix and unit, and K is no unit.
        {"10K", "parse: variable name must start with a letter: 10K"},
        {"5kHz", "parse: variable name must start with a letter: 5kHz"},
        {"5M", "parse: variable name must start with a letter: 5M"},
        {"1.5e3Hz", "parse: variable name must start with a letter: 1.5e3Hz"},
        // A name that starts with a letter is a variable even when it looks like a unit.
        {"V", "2", "V=2"},
        {"ms", "3", "ms=3"},
    });
}

} // namespace
} // namespace zep::test
