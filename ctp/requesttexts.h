#pragma once

#include <QString>

// The wording shown for a request's return code and for the two trading states.
QString requestResultText(int code);
QString connectionStateText(int state);
QString loginStateText(int state);
