#pragma once
// The bars' mouse: a right-button press on the tool bar, on the top strip beside the drive
// bars, or on the status bar hides that bar.
namespace kv {

class TForm1;

void installBarMouseHandlers(TForm1& form);

}  // namespace kv
