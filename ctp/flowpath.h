#pragma once

#include <QString>

// The folders the CTP libraries keep their session files in, one pair per program run:
// "flow/<user>/<broker>_<investor>_<start stamp>_td/" and "..._md/", relative to the working
// folder. The folder is created with its parents; the path is returned as built.
QString tdFlowPath();
QString mdFlowPath();
