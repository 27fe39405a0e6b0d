# trn_add_filter_dll(<target> <file name> <def file> <sources>...): a stand-in
# filter DLL on the filter base, with the static runtime, undecorated exports
# and the given file name (".ax" or ".dll").
function(trn_add_filter_dll target file_name def_file)
  add_library(${target} SHARED ${ARGN} ${def_file})
  get_filename_component(_stem ${file_name} NAME_WE)
  get_filename_component(_ext ${file_name} EXT)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${_stem} SUFFIX ${_ext})
  target_link_libraries(${target} PRIVATE trn_filterbase)
  target_link_options(${target} PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
endfunction()
