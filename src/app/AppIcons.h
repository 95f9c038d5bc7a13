#pragma once

#include <QIcon>

// The program's icons: 500 running, 501 failed, 516 stopped, 505..515 the frames between
// stopped and running. Each carries every size drawn for it.
QIcon PixletIcon(int number);
