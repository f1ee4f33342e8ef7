# Reads cmake/layers.txt (the one matrix of which folder may use which) and
# links the layer targets as it allows.

function(tavo_layer_target folder out)
  string(REPLACE "/" "_" name "${folder}")
  set(${out} tavo_${name} PARENT_SCOPE)
endfunction()

macro(tavo_read_layers file)
  file(STRINGS ${file} _tavo_lines REGEX "^[a-z_/]+:")
  set(TAVO_LAYER_FOLDERS)
  foreach(_line IN LISTS _tavo_lines)
    string(REGEX MATCH "^([a-z_/]+):(.*)$" _ "${_line}")
    set(_folder "${CMAKE_MATCH_1}")
    separate_arguments(_uses UNIX_COMMAND "${CMAKE_MATCH_2}")
    list(APPEND TAVO_LAYER_FOLDERS ${_folder})
    tavo_layer_target(${_folder} _t)
    set(TAVO_USES_${_t} ${_uses})
  endforeach()
endmacro()

# Each layer target links (for usage requirements) the targets of the
# folders it may use.
function(tavo_link_layers)
  foreach(folder IN LISTS TAVO_LAYER_FOLDERS)
    tavo_layer_target(${folder} target)
    if(NOT TARGET ${target})
      continue()
    endif()
    foreach(used IN LISTS TAVO_USES_${target})
      tavo_layer_target(${used} used_target)
      if(TARGET ${used_target})
        target_link_libraries(${target} PUBLIC ${used_target})
      endif()
    endforeach()
  endforeach()
endfunction()
