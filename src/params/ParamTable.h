#pragma once

#include <QString>
#include <array>

namespace brimvolt {

/** One of the module's twelve parameters as the main window lists and edits it. */
struct ParamInfo {
    int index;        // the number the module knows it by
    QString name;     // text of its list row, in Russian: shown through ParamText
    int listId;       // 1001 operational, 1003 modes and calibration
    int row;          // row in that list
    int staticId;     // the static showing its value
    QString unit;     // label beside the value; empty for none
    bool fractional;  // shown in volts or amperes from a word of thousandths
    int spinMin;      // up-down range, in raw words
    int spinMax;
    QString hint;  // range hint for the value editor's tooltip; empty for none
};

/** A name or a hint of the table in the interface's language. */
QString ParamText(const QString& text);

/** The twelve parameters in index order. */
const std::array<ParamInfo, 12>& ParamTable();

/** True for 0..11. */
constexpr bool IsParamIndex(int index) {
    return index >= 0 && index < 12;
}

}  // namespace brimvolt
