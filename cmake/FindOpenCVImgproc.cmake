# Finds OpenCV's core and imgproc modules as Debian's libopencv-imgproc-dev
# installs them: headers and libraries without OpenCV's own CMake package,
# which only the whole libopencv-dev brings. Defines OpenCV::core and
# OpenCV::imgproc.
find_path(OpenCVImgproc_INCLUDE_DIR opencv2/imgproc.hpp PATH_SUFFIXES opencv4)
find_library(OpenCVImgproc_CORE_LIBRARY opencv_core)
find_library(OpenCVImgproc_IMGPROC_LIBRARY opencv_imgproc)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVImgproc
    REQUIRED_VARS OpenCVImgproc_INCLUDE_DIR OpenCVImgproc_CORE_LIBRARY
                  OpenCVImgproc_IMGPROC_LIBRARY)

if(OpenCVImgproc_FOUND AND NOT TARGET OpenCV::core)
    add_library(OpenCV::core UNKNOWN IMPORTED)
    set_target_properties(OpenCV::core PROPERTIES
        IMPORTED_LOCATION "${OpenCVImgproc_CORE_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${OpenCVImgproc_INCLUDE_DIR}")
    add_library(OpenCV::imgproc UNKNOWN IMPORTED)
    set_target_properties(OpenCV::imgproc PROPERTIES
        IMPORTED_LOCATION "${OpenCVImgproc_IMGPROC_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${OpenCVImgproc_INCLUDE_DIR}"
        INTERFACE_LINK_LIBRARIES OpenCV::core)
endif()
