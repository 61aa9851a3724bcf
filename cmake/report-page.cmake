# The chart page's library, style and script, built into the core as string constants.
# The chart library is Debian's libjs-dygraphs.
find_file(TAVRIC_DYGRAPH_SCRIPT dygraph.min.js PATHS /usr/share/javascript/dygraphs
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_file(TAVRIC_DYGRAPH_STYLE dygraph.min.css PATHS /usr/share/javascript/dygraphs
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TAVRIC_DYGRAPH_SCRIPT OR NOT TAVRIC_DYGRAPH_STYLE)
  message(FATAL_ERROR "The chart page needs the dygraphs library: apt-get install libjs-dygraphs")
endif()

set(report_assets_source ${CMAKE_CURRENT_BINARY_DIR}/generated/report_assets.cpp)
set(report_asset_files
    ${TAVRIC_DYGRAPH_SCRIPT} ${TAVRIC_DYGRAPH_STYLE}
    ${CMAKE_CURRENT_SOURCE_DIR}/src/report/page.js ${CMAKE_CURRENT_SOURCE_DIR}/src/report/page.css)
add_custom_command(
  OUTPUT ${report_assets_source}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${report_assets_source}
          "-DASSETS=kDygraphScript=${TAVRIC_DYGRAPH_SCRIPT}|kDygraphStyle=${TAVRIC_DYGRAPH_STYLE}|kPageScript=${CMAKE_CURRENT_SOURCE_DIR}/src/report/page.js|kPageStyle=${CMAKE_CURRENT_SOURCE_DIR}/src/report/page.css"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/report-assets.cmake
  DEPENDS ${report_asset_files} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/report-assets.cmake
  COMMENT "Building the chart page's library, style and script into the program"
  VERBATIM)
target_sources(tavric_core PRIVATE ${report_assets_source})
