#pragma once

// The maker's web page, offered when the program closes.
inline constexpr char kMakerPage[] = "https://www.lanshi.example/";

// Handler of the main window's will-be-destroyed event: cuts off any run, asks whether
// to open the maker's page, and ends the program with exit code 0.
void OnMainWindowClosing();
