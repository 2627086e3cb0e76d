# Library sources: one folder per family under src/, each holding the family's exported
# functions, its kernel header and one file per kernel twin; src/core/ holds what every family
# shares. Includes are written relative to src/ ("core/internal.h") or to the family's folder.
file(GLOB ZYLCV_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*/*.cc)
