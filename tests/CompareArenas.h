#pragma once
// Two arenas that differ in every way a comparison must see: a changed value,
// keys and sections on one side only, an empty section, letter case.
#include <QByteArray>

inline const QByteArray kOurs =
    "[Warbird]\nBulletSpeed=2000\nGravity=1\nOnlyOurs=5\n\n[Javelin]\nBulletSpeed=2100\n\n"
    "[Misc]\nTeamMaxSize=0\n\n[Gone]\nX=1\n\n[EmptyHere]\n";
inline const QByteArray kTheirs =
    "[warbird]\nbulletspeed=2400\nGravity=1\n\n[Javelin]\nBulletSpeed=2100\nNew=7\n\n"
    "[Misc]\nTeamMaxSize=\n\n[Added]\nY=2\n";
