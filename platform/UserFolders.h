#pragma once

#include <QString>

// The user's home and XDG base folders, and Lumidor's files in them. Asked
// afresh on every call, so that a changed environment counts at once. An XDG
// variable counts only when it holds an absolute path; no result ends with
// a separator.
namespace UserFolders {

// $HOME when absolute, else the account's home; empty when neither is known.
QString Home();

// $XDG_CONFIG_HOME, else ~/.config; empty without a home.
QString Config();
// The first absolute entry of $XDG_CONFIG_DIRS, else /etc/xdg.
QString CommonConfig();
// $XDG_DATA_HOME, else ~/.local/share.
QString Data();
// $XDG_STATE_HOME, else ~/.local/state.
QString State();

// The task service's store: Data()/lumidor/tasks.
QString TaskStore();
// The history of runs: State()/lumidor/history.log.
QString HistoryFile();
// Reports of unexpected errors: State()/lumidor/errors.log.
QString ErrorLog();

} // namespace UserFolders
