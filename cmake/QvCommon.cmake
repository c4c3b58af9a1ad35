# Settings shared by every target: language level, warnings, sanitizers,
# and the guard that keeps the lower layers free of Qt Gui and Widgets.

add_library(qv_common INTERFACE)
target_compile_features(qv_common INTERFACE cxx_std_17)
target_compile_options(qv_common INTERFACE -Wall -Wextra)
target_compile_definitions(qv_common INTERFACE
  QT_DEPRECATED_WARNINGS
  QT_NO_FOREACH
)

if(QV_SANITIZE)
  string(REPLACE ";" "," _qv_san "${QV_SANITIZE}")
  target_compile_options(qv_common INTERFACE -fsanitize=${_qv_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(qv_common INTERFACE -fsanitize=${_qv_san})
endif()

# ipc/, appcore/ and device/ must build with Qt Core alone. Qt's own headers are reachable
# through the common Qt include folder, so linking Core only is not enough to
# stop a stray #include <QtWidgets/...>: put poisoned copies of the Gui and
# Widgets global headers first on the include path of those targets.
function(qv_forbid_gui target)
  target_include_directories(${target} BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/cmake/poison)
endfunction()

# Adds every immediate subfolder of DIR that has its own CMakeLists.txt,
# so new tools, benchmark groups and fuzz targets need no edit here.
function(qv_add_subdirectories dir)
  file(GLOB _children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/${dir} ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  list(SORT _children)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
    return()
  endif()
  foreach(_child IN LISTS _children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${_child}/CMakeLists.txt)
      add_subdirectory(${dir}/${_child})
    endif()
  endforeach()
endfunction()
