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
foreach(file bin/orvanta share/applications/orvanta.desktop share/mime/packages/orvanta-tvi.xml
             share/mime/packages/orvanta-nifti.xml
             share/icons/hicolor/32x32/apps/orvanta.png share/icons/hicolor/256x256/apps/orvanta.png)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "${file} was not installed")
  endif()
endforeach()
file(READ ${PREFIX}/share/applications/orvanta.desktop entry)
foreach(line "Exec=orvanta %f" "Icon=orvanta" "MimeType=application/x-orvanta-tvi;application/x-orvanta-nifti;application/x-orvanta-nifti-gz;model/obj;")
  string(FIND "${entry}" "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks '${line}'")
  endif()
endforeach()
file(READ ${PREFIX}/share/mime/packages/orvanta-tvi.xml types)
string(FIND "${types}" "<glob pattern=\"*.tvi\"/>" found)
if(found EQUAL -1)
  message(FATAL_ERROR "the file type does not match *.tvi")
endif()
file(READ ${PREFIX}/share/mime/packages/orvanta-nifti.xml types)
foreach(glob "*.nii" "*.nii.gz")
  string(FIND "${types}" "<glob pattern=\"${glob}\"/>" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the NIfTI file types do not match ${glob}")
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
