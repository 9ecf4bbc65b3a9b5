#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "cycle/TestProgram.h"

class QWidget;

namespace brimvolt {

namespace platform {
class CDialogs;
}

/** The largest program file read: a program is a few hundred bytes. */
constexpr qint64 kMaxProgramFileBytes = 1 << 20;
/** The most steps a program may have. */
constexpr std::size_t kMaxProgramSteps = 1000;

/**
 * Reads a program from its JSON text:
 * {"name": "...", "capacity_mAh": 2500, "steps": [{"charge": {"current_A": 1.0, "cutoff_V": 4.2,
 * "limit_minutes": 300}}, {"rest": {"minutes": 30}}, {"discharge": {...}},
 * {"rin": {"current_A": 1.0, "cutoff_V": 3.0}}, {"repeat": {"from": 1, "times": 3}}]}.
 * `capacity_mAh`, `limit_minutes` and the fields of "rin" (1 A, 3 V) may be left out. On a fault:
 * nullopt,
 * and `error` says where and why in one line ("step 3: cutoff_V: must be 0.7 to 16").
 */
std::optional<TestProgram> ParseProgram(const QByteArray& json, QString& error);

/** ParseProgram over a file; a file that cannot be read, or too large, is a fault too. */
std::optional<TestProgram> ReadProgramFile(const QString& path, QString& error);

/**
 * "Программа испытаний (*.json)" asked for in an open dialog and read; a file that cannot be
 * read is told in a message box. Nothing: no file chosen, or none read.
 */
std::optional<TestProgram> AskForProgramFile(platform::CDialogs& dialogs, QWidget* parent);

/** The JSON text ParseProgram reads back to the same program. */
QByteArray ProgramJson(const TestProgram& program);

/** Writes ProgramJson whole or not at all; false with the reason in `error`. */
bool WriteProgramFile(const QString& path, const TestProgram& program, QString& error);

}  // namespace brimvolt
