#pragma once

#include <QColor>
#include <QString>

#include "channel/ChannelPicture.h"

namespace brimvolt {

/** How a tile of the bench says what its channel does: the state word and its colours. */
struct TileLook {
    QString word;
    QColor fill;
    QColor ink;  // the word's colour on `fill`
};

TileLook LookOf(const ChannelPicture& picture);

/** The port as the tile's title: "COM3", or "—" while the channel searches. */
QString PortText(const ChannelPicture& picture);

/** "Ячейка: A1"; a dash when no cell is named. */
QString CellLine(const ChannelPicture& picture);

/**
 * "Шаг 2 из 5, в шаге 0:12:34" while a program is in a step, a waiting note while it waits for
 * its module; empty without a program.
 */
QString ProgramLine(const ChannelPicture& picture);

/** The channel as a question names it: its port, else its number from 1. */
QString ChannelName(const ChannelPicture& picture, int channel);

/** What a leaving question says the channel is doing ("разряд"); empty when it runs nothing. */
QString BusyWord(const ChannelPicture& picture);

/** Tiles per row for a bench of `channels`: a square-ish grid, never more than four across. */
int BenchColumns(int channels);

}  // namespace brimvolt
