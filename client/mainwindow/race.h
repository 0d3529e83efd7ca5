#pragma once
// The boat race and the rain on the main window's race field.
//
// One animation controller drives both shows from timers: a race start or a
// rain start switches what it shows and returns at once, so that the start
// is the last step of its caller. Frames follow each other no faster than
// every 21 milliseconds; a race that has ended (or was stopped) rests at the
// start line and is redrawn only when the boats' frame flips.
#include <QImage>
#include <cstdint>

namespace race {

// ---- Race state ----
// Lane k is 1..6; index 0 is not used.
extern std::int16_t BoatX[7];     // left edge of each boat
extern std::int16_t BoatFrame;    // sprite frame of all boats, 0 or 1
extern std::int16_t RaceActive;   // 1 while the boats move
extern float LaneSpeeds[7];       // factors of the current race

constexpr int kStartLine = 510;
constexpr int kFinishLine = 0;
constexpr int kLaneOneEnd = -100;
constexpr int kFrameMs = 21;      // pace of the frames (just over 20 ms)

// The sixteen rows of lane speeds (row r is kLaneSpeedTable[r - 1]).
extern const float kLaneSpeedTable[16][6];

// ---- Rain state ----
struct RainDrop {
  std::int16_t X = 0;
  std::int16_t Y = 0;
  std::int16_t Speed = 0;
};
extern RainDrop RainDrops[101];  // drops 0 to 99 are used

// What the race field shows.
enum class Show { None, Race, Rain };
Show current();

// The pictures of the race field from the program folder (water tile, boat
// sheet, lane pictures); the start-up calls it before drawing.
void LoadPictures();

// Start-up drawing: the water, the six boats at the start line.
void DrawStart();

// The main window's buttons.
void RaceStart();  // "     Start" (and the mail check after new mail)
void RaceStop();   // "     Stop"
void RainStart();  // the hidden "雨" (and the mail check after spam was repelled)

// The steps of one race frame.
void RunRace();       // boats to the start line, window shown, the race shown from now on
void DrawRaceField();
void MoveBoats();
void DrawBoats();
// One whole frame of the race: field, move, boats, refresh.
void RaceFrame();

// The rain: its set-up, one frame's drawing, one frame's fall.
void InitData();
void DrawSnow();
void MoveDrops();
void RainFrame();

// Each tick of the main window's 120 ms timer: flips the boats' frame and
// moves the lane pictures along.
void FrameTick();

// Waits more than ms milliseconds while window events and timers run.
void Wait(std::int32_t ms);

// The row of the lane-speed table for a uniform r in [0, 1): 1 to 16.
int rowFor(float r);

// Stops the controller (tests, and the main window when it goes away).
void reset();

}  // namespace race
