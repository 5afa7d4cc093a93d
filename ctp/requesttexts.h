#pragma once

#include <QString>

// The wording shown for a request's return code and for the two trading states.
QString requestResultText(int code);
QString connectionStateText(int state);
QString loginStateText(int state);

// The failure lines of the position and account queries, "%1" the code and "%2" its text.
extern const char kPositionFailure[];
extern const char kAccountFailure[];
// A dropped connection with the API's reason, as the activity shows it.
QString disconnectionText(int reason);
