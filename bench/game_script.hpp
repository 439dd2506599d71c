// A movie script of whole games as a game movie plays them: start-up, then per game a start, twelve
// questions each drawn and answered, the meters, the high-score position, entry and table, and the game
// count; the program is closed at the end. The clock moves a minute per game.
#pragma once

#include <string>

namespace quizhost::bench {

inline std::string game_script(long games) {
    std::string script = "clock\t2026-12-07 14:05:09\nfs\tINTRO_END\n";
    for (long game = 0; game < games; ++game) {
        const std::string score = std::to_string((game * 7919) % 5000);
        script += "clock\t+60\nfs\tSTART_GAME\n";
        for (int q = 1; q <= 12; ++q) {
            script += "fs\tGET_QUESTION\t" + std::to_string(q) + ",T\n";
            script += "fs\tANSWERED\t" + std::to_string(q % 4 + 1) + "," + std::to_string((game + q) % 2) + "\n";
        }
        script += "fs\tUPDATE_METERS\t12,100,0,0\n";
        script += "fs\tGET_HISCORE_POSITION\t" + score + "\n";
        script += "fs\tADD_TO_HISCORES\tBEN,1234," + score + ",1,2,3\n";
        script += "fs\tREAD_HISCORES\nfs\tGET_TOTAL_GAMES\n";
    }
    script += "fs\tCLOSE_ALL\n";
    return script;
}

}  // namespace quizhost::bench
