// The shim: a one-frame movie the browser player makes for each Flash game. Ruffle has no SetVariable,
// GetVariable, Play, StopPlay or Rewind for the page to call; it does give AVM1's
// ExternalInterface.addCallback. The shim registers those five calls (and a state call) as callbacks,
// then loads the game into _level0, where the callbacks survive it and act on it:
//
//   qhSetVariable(name, value), qhGetVariable(name)  on _level0 through SetTarget, so every path form the
//                                 cabinet's control took ("name", "/clip:name", "_level0.clip.name") works;
//                                 both values travel behind a U+0001 (the player turns a text of white space
//                                 alone into "null" on its way between page and movie)
//   qhPlay(), qhStopPlay(), qhRewind()  the main timeline only: clips and intervals go on
//   qhState()                     "URL\nFRAMESLOADED\nRATE": _level0's URL and frames loaded, for the page
//                                 to know the game is in, and the game's frame rate
//
// It has the game's stage, frame rate and background, and version max(6, the game's): a callback matches
// names as the old player did for the game's version (without regard to case up to 6, with case from 7). It leaves no
// variable and no timer behind.
#pragma once

#include <string>

#include "swf/swf_inspect.hpp"

namespace quizhost::swf {

// The shim for a game whose facts are `game`, loading it from `game_url` (absolute: a relative URL would be
// resolved against the page, not the shim).
bytes make_shim(const movie_facts& game, const std::string& game_url);

}  // namespace quizhost::swf
