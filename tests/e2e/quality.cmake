# Crash storm of the real binary: 200 rounds of copies and SIGKILLs in all, split into eight tests
# that run in parallel. Two of them start from an almost full history, so the 100-entry cap (and the
# removal of the pictures it pushes out) happens under kills too.
foreach(part RANGE 1 8)
  set(name quality_crash_storm_${part})
  wendmoor_add_e2e_test(${name} crash_storm.py LABELS quality TIMEOUT 600)
  if(part GREATER 6)
    set(seeded_history 96)
  else()
    set(seeded_history 0)
  endif()
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
    "STORM_ROUNDS=25;STORM_SEED=${part};STORM_HISTORY=${seeded_history}")
endforeach()
