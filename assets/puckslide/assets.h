#pragma once
// The air hockey game's pictures and sounds, made by the generator in this
// folder at build time and compiled into the program (it reads no files).
#include <QByteArray>

namespace puckassets {

QByteArray tablePicture();           // PNG, 275 x 392: the table seen from above, on black
QByteArray userMalletPicture();      // PNG, 39 x 35, transparent around the mallet
QByteArray computerMalletPicture();  // PNG, 39 x 35
QByteArray puckPicture();            // PNG, 19 x 19
QByteArray hitSound();               // WAV: a mallet hits the puck
QByteArray bounceSound();            // WAV: the puck bounces off a wall

}  // namespace puckassets
