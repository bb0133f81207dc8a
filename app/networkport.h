#pragma once
// File > COM Port > Network Port...: the address of a network serial server to program
// through instead of COM n (RFC 2217 or a raw TCP port), kept per user (netline's
// NetworkPortSetting), never in the settings file. The entry is checked while runs go to the
// server; choosing any COM n in the same menu goes back to the serial ports.

class QMenu;
class QWidget;

namespace korvane {

class UserDialog;

// Adds a separator and the entry at the end of comPortMenu, whose other checkable items are the
// COM ports. dialog shows a setting that could not be stored; parent owns the address window.
void AddNetworkPortEntry(QMenu *comPortMenu, UserDialog &dialog, QWidget *parent);

} // namespace korvane
