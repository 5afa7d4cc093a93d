#pragma once

#include <QIcon>

// The product's logo, compiled into the windows' library. Windows take their icon from here,
// because a resource of a static library registers itself only when something names it.
class Logo
{
public:
    static constexpr const char *path = ":/images/logo.png";
    static QIcon icon();
};
