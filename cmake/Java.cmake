# zv_java_classes(TARGET OUTPUT_DIR [RELEASE N] [OPTIONS javac-options...] SOURCES files...)
# Compiles Java sources into OUTPUT_DIR at build time (target TARGET, part of
# ALL), with debug information so that line tables are present.
function(zv_java_classes target outdir)
  cmake_parse_arguments(J "" "RELEASE" "SOURCES;OPTIONS" ${ARGN})
  set(release_flags "")
  if(J_RELEASE)
    set(release_flags --release ${J_RELEASE})
  endif()
  set(stamp ${outdir}.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${outdir}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${JDK_JAVAC} -nowarn -g -encoding UTF-8 ${release_flags} ${J_OPTIONS} -d ${outdir} ${J_SOURCES}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${J_SOURCES}
    COMMENT "Compiling Java classes for ${target}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${stamp})
endfunction()
