# Installs the build in BUILD_DIR into PREFIX, as the README's "Installing"
# section does, and checks that every desktop file arrived and that the
# installed program runs. scripts/test.sh runs it on the release build:
#   cmake -DBUILD_DIR=build-release -DPREFIX=/tmp/x -P tests/app/CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} RESULT_VARIABLE result
                OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/orvanta share/applications/orvanta.desktop share/mime/packages/orvanta.xml
             share/icons/hicolor/32x32/apps/orvanta.png share/icons/hicolor/256x256/apps/orvanta.png)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "${file} was not installed")
  endif()
endforeach()
file(READ ${PREFIX}/share/applications/orvanta.desktop entry)
foreach(line "Exec=orvanta %f" "Icon=orvanta" "MimeType=application/x-orvanta-tvi;application/x-orvanta-nifti;application/x-orvanta-nifti-gz;application/dicom;model/obj;")
  string(FIND "${entry}" "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks '${line}'")
  endif()
endforeach()
file(READ ${PREFIX}/share/mime/packages/orvanta.xml types)
foreach(glob "*.tvi" "*.nii" "*.nii.gz")
  string(FIND "${types}" "<glob pattern=\"${glob}\"/>" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the file types do not match ${glob}")
  endif()
endforeach()

# The installed program starts on its own, away from the build tree.
execute_process(COMMAND ${PREFIX}/bin/orvanta --version RESULT_VARIABLE result OUTPUT_VARIABLE version
                ERROR_VARIABLE errors WORKING_DIRECTORY ${PREFIX})
if(NOT result EQUAL 0 OR NOT version MATCHES "^orvanta [0-9]+\\.[0-9]+")
  message(FATAL_ERROR "the installed orvanta --version failed (${result}): ${version}${errors}")
endif()
execute_process(COMMAND ${PREFIX}/bin/orvanta --info RESULT_VARIABLE result OUTPUT_VARIABLE info
                ERROR_VARIABLE errors WORKING_DIRECTORY ${PREFIX})
if(NOT result EQUAL 0 OR NOT info MATCHES "^{\"")
  message(FATAL_ERROR "the installed orvanta --info failed (${result}): ${info}${errors}")
endif()

# Movies, label surfaces and DICOM scans use parts the program loads when
# first needed; the installed program must find its own, not the build tree's.
set(demo ${PREFIX}/demo)
file(MAKE_DIRECTORY ${demo} ${demo}/empty)
execute_process(COMMAND ${BUILD_DIR}/tools/orvanta-make-demo ${demo} RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the demo data could not be written (${result})")
endif()
execute_process(COMMAND ${PREFIX}/bin/orvanta ${demo}/heart.tvi --labels ${demo}/heart-labels.nii.gz
                        --export-obj ${demo}/out.obj --export-avi ${demo}/out.avi
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors WORKING_DIRECTORY ${PREFIX})
set(avi_size 0)
set(obj "")
if(EXISTS ${demo}/out.avi AND EXISTS ${demo}/out.obj)
  file(SIZE ${demo}/out.avi avi_size)
  file(READ ${demo}/out.obj obj)
endif()
string(FIND "${obj}" "label1-00" found)
if(NOT result EQUAL 0 OR avi_size LESS 1000 OR found EQUAL -1)
  message(FATAL_ERROR "the installed orvanta could not export movie and surfaces (${result}): ${output}${errors}")
endif()
execute_process(COMMAND ${PREFIX}/bin/orvanta --info ${demo}/empty RESULT_VARIABLE result OUTPUT_VARIABLE output
                ERROR_VARIABLE errors WORKING_DIRECTORY ${PREFIX})
if("${output}${errors}" MATCHES "module")
  message(FATAL_ERROR "the installed orvanta could not load its DICOM reader: ${output}${errors}")
endif()
