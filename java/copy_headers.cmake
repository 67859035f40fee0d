# Copies the JNI headers javac wrote into FROM to TO, leaving a header whose
# content did not change untouched (its time stamp too).
file(MAKE_DIRECTORY ${TO})
file(GLOB headers ${FROM}/*.h)
foreach(h ${headers})
  get_filename_component(name ${h} NAME)
  file(COPY_FILE ${h} ${TO}/${name} ONLY_IF_DIFFERENT)
endforeach()
