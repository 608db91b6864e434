# find_package(zvi): the imported target zvi::zvi, the extension interface's
# include directories (zvi.h and the JDK's jni.h) and nothing to link.
include(${CMAKE_CURRENT_LIST_DIR}/zviTargets.cmake)
