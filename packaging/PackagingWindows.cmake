# What the Windows folder holds (cmake --install): the two programs beside base\,
# as the portable zip and the installer carry them. The Qt, curl and mingw-w64
# runtime DLLs are put beside them by scripts/package-windows.
install(TARGETS tessary tessary-cfg RUNTIME DESTINATION .)
install(FILES base/svs.cfg base/help.hlp base/cfgcheck.cdu base/settings-ranges.tsv base/crappy2.cfg
  DESTINATION base)
install(DIRECTORY base/images DESTINATION base)
