# Where everything goes on a user's machine, and the Debian package that puts it there.
include(GNUInstallDirs)

# The build tree lays out share/ as an installation does, so that the built programs find the
# market table and the guide beside them exactly as the installed ones do.
configure_file(${PROJECT_SOURCE_DIR}/data/market.csv ${PROJECT_BINARY_DIR}/share/tickora/market.csv
               COPYONLY)
file(GLOB TICKORA_GUIDE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/Documents/*)
foreach(file IN LISTS TICKORA_GUIDE_FILES)
  get_filename_component(name ${file} NAME)
  configure_file(${file} ${PROJECT_BINARY_DIR}/share/doc/tickora/Documents/${name} COPYONLY)
endforeach()
