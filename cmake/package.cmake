# The Debian package: `cpack -G DEB` in a Release build tree (`make deb`)
# makes brisolm-tavren_<version>_<architecture>.deb of everything that
# `cmake --install` puts under /usr.  The libraries it needs come from
# dpkg-shlibdeps, so they follow whatever the programs link.

set(TAVREN_PACKAGE_MAINTAINER "Brisolm Imaging <tavren@brisolm-imaging.example>"
    CACHE STRING "Name and address in the Debian package's Maintainer field")

# Debian wants the changelog of a package beside its licence: one entry for
# this release.
execute_process(COMMAND date -u -R -d "${TAVREN_RELEASE_DATE}"
                OUTPUT_VARIABLE TAVREN_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file("${PROJECT_SOURCE_DIR}/cmake/changelog.in" "${PROJECT_BINARY_DIR}/changelog" @ONLY)
tavren_gzip("${PROJECT_BINARY_DIR}/changelog" changelog)
install(FILES "${PROJECT_BINARY_DIR}/gz/changelog.gz" DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brisolm-tavren)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brisolm Imaging")
set(CPACK_PACKAGE_CONTACT "${TAVREN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo enhancer with haze removal and tone correction")
set(CPACK_PACKAGE_DESCRIPTION [[
Brisolm Tavren opens a picture and computes four versions of it at once:
the original, and Light, Normal and Deep corrections, each Clarivex haze
removal followed by Lumora tone correction. A click on the picture steps
through them, a Manual Tuning panel sets both strengths by hand, and the
chosen version is saved at full size as a JPEG that keeps the camera's
make and model.

The package holds the window, brisolm-tavren, and the command-line
enhancer, tavren, which treats many pictures at once with the same
results. Both read JPEG, BMP, HEIF, PNG, TIFF and WebP pictures.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Folders the package makes are rwxr-xr-x whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.brisolm-imaging.example/products/tavren/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's SVG icons are drawn by Qt plugins, which no program links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
