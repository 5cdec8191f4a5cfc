#pragma once

#include <QStringList>

// What the program was started with, beyond Qt's own options.
struct LaunchOptions {
    // "--demo": run the demo shoot instead of live inputs.
    bool demo = false;

    // Reads the command line (the program name first). Options it does not know and stray
    // arguments are ignored, so a launcher's extra arguments never stop the program.
    [[nodiscard]] static LaunchOptions parse(const QStringList& arguments);
};
