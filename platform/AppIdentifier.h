#pragma once
// The application's reverse-domain identifier; queue labels and similar names start with it.
inline constexpr char kApplicationIdentifier[] = "org.lumivar.Lumivar";
