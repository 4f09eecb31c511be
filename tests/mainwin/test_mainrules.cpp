// Fitting the picture and the key map, as tables.

#include "mainrules.h"

#include <gtest/gtest.h>

namespace veilshot {
namespace {

struct Fit {
    const char *name;
    double ratio;
    QSize area;
    QRect expected;
    friend std::ostream &operator<<(std::ostream &os, const Fit &f) { return os << f.name; }
};

class FitPictureTable : public ::testing::TestWithParam<Fit> {};

TEST_P(FitPictureTable, KeepsProportionsAndCentres)
{
    EXPECT_EQ(FitPicture(GetParam().ratio, GetParam().area), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FitPictureTable,
    ::testing::Values(Fit{"EqualRatioFillsTheArea", 4.0 / 3.0, {400, 300}, {0, 0, 400, 300}},
                      Fit{"WidePictureFillsTheWidth", 2.0, {400, 300}, {0, 50, 400, 200}},
                      Fit{"TallPictureFillsTheHeight", 0.5, {400, 300}, {125, 0, 150, 300}},
                      Fit{"SmallPictureIsEnlarged", 1.0, {800, 400}, {200, 0, 400, 400}},
                      Fit{"NoPictureYet", 0.0, {758, 473}, {379, 0, 0, 473}},
                      Fit{"HalfRoundsDownToEven", 1.25, {100, 10}, {44, 0, 12, 10}},
                      Fit{"HalfRoundsUpToEven", 2.25, {100, 6}, {43, 0, 14, 6}},
                      Fit{"HalfRoundsToEvenWhenTall", 2.0, {5, 100}, {0, 49, 5, 2}},
                      Fit{"OddCentringTruncates", 1.0, {101, 100}, {0, 0, 100, 100}},
                      Fit{"EmptyArea", 1.5, {0, 0}, {0, 0, 0, 0}}),
    [](const auto &info) { return std::string(info.param.name); });

struct Key {
    const char *name;
    int key;
    bool keypad;
    quint32 scanCode;
    MainKey expected;
    friend std::ostream &operator<<(std::ostream &os, const Key &k) { return os << k.name; }
};

class KeyMapTable : public ::testing::TestWithParam<Key> {};

TEST_P(KeyMapTable, MapsTheKeyAlone)
{
    EXPECT_EQ(MainKeyFor(GetParam().key, GetParam().keypad, GetParam().scanCode), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KeyMapTable,
    ::testing::Values(Key{"Right", Qt::Key_Right, false, 0, MainKey::Forward},
                      Key{"Left", Qt::Key_Left, false, 0, MainKey::Back},
                      Key{"Down", Qt::Key_Down, false, 0, MainKey::Stop},
                      Key{"Up", Qt::Key_Up, false, 0, MainKey::Copy},
                      Key{"M", Qt::Key_M, false, 0, MainKey::FullScreen},
                      Key{"Return", Qt::Key_Return, false, 0, MainKey::Presurvey},
                      Key{"KeypadEnter", Qt::Key_Enter, true, 0, MainKey::Presurvey},
                      Key{"Space", Qt::Key_Space, false, 0, MainKey::Presurvey},
                      Key{"Nine", Qt::Key_9, false, 0, MainKey::ToggleStrip},
                      Key{"E", Qt::Key_E, false, 0, MainKey::Exit},
                      Key{"One", Qt::Key_1, false, 0, MainKey::Radio1},
                      Key{"Five", Qt::Key_5, false, 0, MainKey::Radio5},
                      Key{"Six", Qt::Key_6, false, 0, MainKey::Radio10},
                      Key{"Seven", Qt::Key_7, false, 0, MainKey::Radio20},
                      Key{"Eight", Qt::Key_8, false, 0, MainKey::RadioManual},
                      Key{"FourPassesOn", Qt::Key_4, false, 0, MainKey::None},
                      Key{"ZeroPassesOn", Qt::Key_0, false, 0, MainKey::None},
                      Key{"KeypadOnePassesOn", Qt::Key_1, true, 0, MainKey::None},
                      Key{"OtherLettersPassOn", Qt::Key_A, false, 0, MainKey::None},
                      Key{"FrenchLayoutTopRowOne", Qt::Key_Ampersand, false, 10, MainKey::Radio1},
                      Key{"ShiftedTopRowEight", Qt::Key_Asterisk, false, 17, MainKey::RadioManual}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot
