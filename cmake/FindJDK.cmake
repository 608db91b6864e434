# Locates the JDK from javac (or JAVA_HOME): JDK_HOME, JDK_INCLUDE_DIRS for
# jni.h and jvmti.h, JDK_LIBJVM, and the java, javac and jar programs.
# The headless JDK has no AWT, which CMake's FindJNI insists on.
if(DEFINED ENV{JAVA_HOME} AND EXISTS "$ENV{JAVA_HOME}/include/jni.h")
  set(_jdk_home "$ENV{JAVA_HOME}")
else()
  find_program(_javac_path javac REQUIRED)
  file(REAL_PATH "${_javac_path}" _javac_real)
  get_filename_component(_jdk_bin "${_javac_real}" DIRECTORY)
  get_filename_component(_jdk_home "${_jdk_bin}" DIRECTORY)
endif()
set(JDK_HOME "${_jdk_home}" CACHE PATH "JDK installation directory")
set(JDK_INCLUDE_DIRS "${JDK_HOME}/include" "${JDK_HOME}/include/linux")
find_library(JDK_LIBJVM jvm PATHS "${JDK_HOME}/lib/server" NO_DEFAULT_PATH)
find_program(JDK_JAVA java PATHS "${JDK_HOME}/bin" NO_DEFAULT_PATH)
find_program(JDK_JAVAC javac PATHS "${JDK_HOME}/bin" NO_DEFAULT_PATH)
find_program(JDK_JAR jar PATHS "${JDK_HOME}/bin" NO_DEFAULT_PATH)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(JDK REQUIRED_VARS JDK_HOME JDK_LIBJVM JDK_JAVA JDK_JAVAC JDK_JAR)
