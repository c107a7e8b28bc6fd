#ifndef MAKERSITE_H
#define MAKERSITE_H

// The maker's web site: the link buttons of the window name its host, and
// the window opens its address. Both live here so that they cannot drift.
// The host must stay short: "-  " and the host fill the 111-pixel text link.
namespace MakerSite {

inline constexpr char host[] = "valoris.example";
inline constexpr char address[] = "https://valoris.example";

} // namespace MakerSite

#endif // MAKERSITE_H
