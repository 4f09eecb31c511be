// Fitting the picture and the key maps of both viewers, as tables.

#include "viewer/viewerrules.h"

#include <gtest/gtest.h>

namespace veilshot {
namespace {

struct Fit {
    const char *name;
    double ratio;
    QSize area;
    QRect expected;
    Centring centring = Centring::RoundedSize;
    friend std::ostream &operator<<(std::ostream &os, const Fit &f) { return os << f.name; }
};

class FitPictureTable : public ::testing::TestWithParam<Fit> {};

TEST_P(FitPictureTable, KeepsProportionsAndCentres)
{
    EXPECT_EQ(FitPicture(GetParam().ratio, GetParam().area, GetParam().centring), GetParam().expected);
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
                      Fit{"EmptyArea", 1.5, {0, 0}, {0, 0, 0, 0}},
                      // A width of 13.5 rounds to 14. The plain viewer rounds the difference
                      // 101 - 13.5 to 88 and halves it; the main window halves 101 - 14.
                      Fit{"DifferenceRoundsBeforeHalving", 6.75, {101, 2}, {44, 0, 14, 2}, Centring::RoundedDifference},
                      Fit{"SizeRoundsBeforeHalving", 6.75, {101, 2}, {43, 0, 14, 2}},
                      Fit{"VeryWidePhotoInATallArea", 20.0, {300, 900}, {0, 442, 300, 15}, Centring::RoundedDifference},
                      Fit{"VeryTallPhotoInAWideArea", 0.05, {900, 300}, {442, 0, 15, 300}, Centring::RoundedDifference}),
    [](const auto &info) { return std::string(info.param.name); });

struct Key {
    const char *name;
    Viewer viewer;
    int key;
    bool keypad;
    quint32 scanCode;
    KeyAction expected;
    friend std::ostream &operator<<(std::ostream &os, const Key &k) { return os << k.name; }
};

class KeyMapTable : public ::testing::TestWithParam<Key> {};

TEST_P(KeyMapTable, MapsTheKeyAlone)
{
    EXPECT_EQ(KeyFor(GetParam().viewer, GetParam().key, GetParam().keypad, GetParam().scanCode), GetParam().expected);
}

constexpr auto C = Viewer::Ciphered;
constexpr auto P = Viewer::Plain;
KeyAction Radio(int index) { return {ViewerKey::Radio, index}; }

INSTANTIATE_TEST_SUITE_P(
    Rows, KeyMapTable,
    ::testing::Values(Key{"Right", C, Qt::Key_Right, false, 0, {ViewerKey::Forward}},
                      Key{"Left", C, Qt::Key_Left, false, 0, {ViewerKey::Back}},
                      Key{"Down", C, Qt::Key_Down, false, 0, {ViewerKey::Stop}},
                      Key{"Up", C, Qt::Key_Up, false, 0, {ViewerKey::Copy}},
                      Key{"M", C, Qt::Key_M, false, 0, {ViewerKey::FullScreen}},
                      Key{"Return", C, Qt::Key_Return, false, 0, {ViewerKey::Presurvey}},
                      Key{"KeypadEnter", C, Qt::Key_Enter, true, 0, {ViewerKey::Presurvey}},
                      Key{"Space", C, Qt::Key_Space, false, 0, {ViewerKey::Presurvey}},
                      Key{"Nine", C, Qt::Key_9, false, 0, {ViewerKey::ToggleStrip}},
                      Key{"E", C, Qt::Key_E, false, 0, {ViewerKey::Exit}},
                      Key{"One", C, Qt::Key_1, false, 0, Radio(1)},
                      Key{"Five", C, Qt::Key_5, false, 0, Radio(4)},
                      Key{"Six", C, Qt::Key_6, false, 0, Radio(5)},
                      Key{"Seven", C, Qt::Key_7, false, 0, Radio(6)},
                      Key{"Eight", C, Qt::Key_8, false, 0, Radio(0)},
                      Key{"FourPassesOn", C, Qt::Key_4, false, 0, {}},
                      Key{"ZeroPassesOn", C, Qt::Key_0, false, 0, {}},
                      Key{"KeypadOnePassesOn", C, Qt::Key_1, true, 0, {}},
                      Key{"OtherLettersPassOn", C, Qt::Key_A, false, 0, {}},
                      Key{"TurnKeysPassOn", C, Qt::Key_G, false, 0, {}},
                      Key{"FrenchLayoutTopRowOne", C, Qt::Key_Ampersand, false, 10, Radio(1)},
                      Key{"ShiftedTopRowEight", C, Qt::Key_Asterisk, false, 17, Radio(0)},
                      Key{"PlainUp", P, Qt::Key_Up, false, 0, {ViewerKey::Copy}},
                      Key{"PlainE", P, Qt::Key_E, false, 0, {ViewerKey::Exit}},
                      Key{"PlainG", P, Qt::Key_G, false, 0, {ViewerKey::TurnRight}},
                      Key{"PlainF", P, Qt::Key_F, false, 0, {ViewerKey::TurnLeft}},
                      Key{"PlainThree", P, Qt::Key_3, false, 0, Radio(3)},
                      Key{"PlainFour", P, Qt::Key_4, false, 0, Radio(4)},
                      Key{"PlainSix", P, Qt::Key_6, false, 0, Radio(6)},
                      Key{"PlainSeven", P, Qt::Key_7, false, 0, Radio(0)},
                      Key{"PlainEightPassesOn", P, Qt::Key_8, false, 0, {}},
                      Key{"PlainNinePassesOn", P, Qt::Key_9, false, 0, {}},
                      Key{"PlainFrenchLayoutTopRowFour", P, Qt::Key_Apostrophe, false, 13, Radio(4)}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot
