# SPDX-License-Identifier: Zlib
# The builds for the other architectures of architectures.txt that are here
# (make cross ARCH=...: build/cross-ARCH and its .deb in dist/), each with its
# own architecture's SDL 1.2 on the tests' Xvfb, judged by the same probe and
# bounds as the machine's own build.
# QUORVANTEL_ARCH_ROOTS names a folder with, for an architecture ARCH, a root
# of its own architecture in ARCH/, where its .deb was installed and whose
# programs the kernel runs through binfmt_misc (scripts/test-arch.sh makes
# them): the tests labelled installed run the program there.
set(QUORVANTEL_ARCH_ROOTS "" CACHE PATH "Roots of other architectures with quorvantel installed")
file(STRINGS architectures.txt rows REGEX "^[a-z]")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "[ \t].*" "" arch "${row}")
  set(binary ${PROJECT_SOURCE_DIR}/build/cross-${arch}/quorvantel)
  if(arch STREQUAL host OR NOT EXISTS ${binary})
    continue()
  endif()
  quorvantel_row(architectures.txt ${arch} elf qemu releases)
  # Natively where this kernel runs the binary (its failure path answers);
  # else under the row's emulator, which finds the architecture's libraries
  # in their multiarch folders under /.
  set(ENV{SDL_VIDEODRIVER} no-such-driver)
  execute_process(COMMAND ${binary} OUTPUT_VARIABLE out RESULT_VARIABLE result ERROR_QUIET)
  unset(ENV{SDL_VIDEODRIVER})
  set(${arch}_runner)
  if(NOT out STREQUAL "SDL failed to initialize!")
    find_program(QEMU_${arch} ${${arch}_qemu} REQUIRED)
    set(${arch}_runner ${QEMU_${arch}} -L /)
  endif()
  set(${arch}_program ${${arch}_runner} ${binary})
  message(STATUS "${arch}: ${binary}, run as: ${${arch}_program}")
  quorvantel_stacks(${arch} sdl-stacks-${arch}.tsv)

  # Under qemu-user the time to the exit is mostly the emulator's, and
  # another case's run opens the same libraries, so no open marks the
  # program's own start: the failure path is not timed there. The native
  # run of the same source (e2e.STACK.init-fails) and contract.init-fails
  # catch one that waits; a binary this kernel runs is timed as natively.
  set(hosted)
  set(arch_fails ${fails})
  if(${arch}_runner)
    set(hosted HOSTED)
    set(arch_fails ${fails_untimed})
  endif()
  quorvantel_e2e(completed ARCH ${arch} ${hosted} PROBE STACK ${shown})
  quorvantel_e2e(close-request-ignored ARCH ${arch} ${hosted} PROBE STACK --close-after 1000 ${shown})
  quorvantel_e2e(init-fails ARCH ${arch} ${hosted} PROBE ${arch_fails} ENV SDL_VIDEODRIVER=no-such-driver)
  add_test(NAME ${arch}.hardening COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check-hardening.sh ${binary})
  add_test(NAME ${arch}.package
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check-package.sh deb
            ${PROJECT_SOURCE_DIR}/dist/quorvantel_${PROJECT_VERSION}_${arch}.deb ${${arch}_runner})
  set_tests_properties(${arch}.hardening ${arch}.package PROPERTIES LABELS "arch;${arch}" TIMEOUT 300)
  # lintian, and every run under qemu-user, keeps a core busy: beside four
  # lintians and other runs under qemu, SDL 2's start took 20 s under
  # qemu-aarch64, against 2.8 s alone.
  quorvantel_cost(${core_cost} ${arch}.package)
  if(${arch}_runner)
    foreach(stack IN LISTS ${arch}_stacks)
      quorvantel_cost(${core_cost} ${arch}.${stack}.completed ${arch}.${stack}.close-request-ignored
                      ${arch}.${stack}.init-fails)
    endforeach()
  endif()

  if(QUORVANTEL_ARCH_ROOTS)
    set(${arch}_program chroot ${QUORVANTEL_ARCH_ROOTS}/${arch} /usr/bin/quorvantel)
    quorvantel_e2e(installed LABEL installed ARCH ${arch} ${hosted} PROBE STACK ${shown})
    if(${arch}_runner)
      foreach(stack IN LISTS ${arch}_stacks)
        quorvantel_cost(${core_cost} ${arch}.${stack}.installed)
      endforeach()
    endif()
  endif()
endforeach()
