; Run by gimp_batch.sh (which defines sw-samples, sw-out, sw-iterations, sw-side):
; each case exports NAME.png into sw-out and notes "done" or "refused" in NAME.status.

(define (sw-path dir name) (string-append dir "/" name))

(define (sw-load name)
  (let ((file (sw-path sw-samples name)))
    (car (gimp-file-load RUN-NONINTERACTIVE file file))))

(define (sw-layer image) (car (gimp-image-get-active-drawable image)))

(define (sw-export image drawable name)
  (let ((file (sw-path sw-out name)))
    (gimp-file-save RUN-NONINTERACTIVE image drawable file file)))

(define (sw-note name text)
  (let ((port (open-output-file (sw-path sw-out (string-append name ".status")))))
    (display text port)
    (close-output-port port)))

; Runs thunk and notes whether it went through.
(define (sw-try name thunk)
  (sw-note name (if (catch #f (thunk) #t) "done" "refused")))

(define (sw-pattern name image drawable iterations side)
  (sw-try name (lambda () (plug-in-spotweave RUN-NONINTERACTIVE image drawable iterations side))))

(define (sw-lines name image drawable . settings)
  (sw-try name
          (lambda ()
            (apply plug-in-spotweave-lines
                   (append (list RUN-NONINTERACTIVE image drawable)
                           (if (null? settings) (list 3 3 5 5 8 8 2 0.98 0.9999) settings))))))

; Loads sample, lets prepare change the image, lets run (NAME IMAGE LAYER)
; filter it and exports the result as NAME.png.
(define (sw-case name sample prepare run)
  (let* ((image (sw-load sample)))
    (prepare image)
    (run name image (sw-layer image))
    (sw-export image (sw-layer image) (string-append name ".png"))
    (gimp-image-delete image)))

(define (sw-as-is image) #t)
(define (sw-u16 image) (gimp-image-convert-precision image PRECISION-U16-GAMMA))
(define (sw-u8 image) (gimp-image-convert-precision image PRECISION-U8-GAMMA))
(define (sw-grey image) (gimp-image-convert-grayscale image))
(define (sw-rgb image) (gimp-image-convert-rgb image))
(define (sw-run name image layer) (sw-pattern name image layer sw-iterations sw-side))
(define (sw-run-lines name image layer) (sw-lines name image layer))
(define astronaut "astronaut_512x512_rgb.png")

; ---- the pattern and the lines against spotweave's ----------------------------------------
(sw-case "pattern" astronaut sw-as-is sw-run)
(sw-case "lines" astronaut sw-as-is sw-run-lines)
(sw-case "lines-custom" astronaut sw-as-is
         (lambda (name image layer) (sw-lines name image layer 2 1 4 3 6 6 1 0.95 0.999)))
; Run with the last values: the custom lines again.
(sw-case "lines-last" astronaut sw-as-is
         (lambda (name image layer)
           (sw-try name (lambda () (plug-in-spotweave-lines RUN-WITH-LAST-VALS image layer
                                                            0 0 0 0 0 0 0 0 0)))))

; ---- precisions and modes against their 8-bit RGB counterparts ------------------------------
(sw-case "pattern-u16" astronaut sw-u16 sw-run)
; A linear float image would export linear samples: back to 8-bit gamma first.
(sw-case "pattern-float" astronaut
         (lambda (image) (gimp-image-convert-precision image PRECISION-FLOAT-LINEAR))
         (lambda (name image layer) (sw-run name image layer) (sw-u8 image)))
(sw-case "sunset-u16" "sunset_534x356_rgb16.png" sw-as-is sw-run)
(sw-case "sunset-u8" "sunset_534x356_rgb16.png" sw-u8 sw-run)
(sw-case "grey" "camera_512x512_grey.png" sw-as-is sw-run)
(sw-case "grey-rgb" "camera_512x512_grey.png" sw-rgb sw-run)
(sw-case "grey-lines" "camera_512x512_grey.png" sw-as-is sw-run-lines)
(sw-case "grey-rgb-lines" "camera_512x512_grey.png" sw-rgb sw-run-lines)

; ---- alpha: an RGBA layer, and the same as grey with alpha ----------------------------------
(sw-case "cat" "cat_451x300_rgba.png" sw-as-is sw-run)
(sw-case "cat-grey" "cat_451x300_rgba.png" sw-grey sw-run)

; ---- a rectangular selection, and the original cut to it ------------------------------------
(sw-case "rect" astronaut
         (lambda (image) (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 96 160 200 120))
         sw-run)
(sw-case "rect-in" astronaut (lambda (image) (gimp-image-crop image 200 120 96 160))
         (lambda (name image layer) #t))

; ---- refusals leave the image as it was ------------------------------------------------------
(let* ((image (sw-load astronaut)))
  (gimp-image-convert-indexed image CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE 16 FALSE FALSE "")
  (sw-export image (sw-layer image) "indexed-before.png")
  (sw-pattern "indexed" image (sw-layer image) sw-iterations sw-side)
  (sw-lines "indexed-lines" image (sw-layer image))
  (sw-export image (sw-layer image) "indexed-after.png")
  (gimp-image-delete image))
; A selection that misses the layer: a small white layer far from it.
(let* ((image (sw-load astronaut))
       (layer (car (gimp-layer-new image 64 64 RGB-IMAGE "small" 100 LAYER-MODE-NORMAL))))
  (gimp-image-insert-layer image layer 0 0)
  (gimp-layer-set-offsets layer 400 400)
  (gimp-drawable-fill layer FILL-WHITE)
  (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 0 0 100 100)
  (sw-pattern "outside" image layer sw-iterations sw-side)
  (sw-lines "outside-lines" image layer)
  (sw-export image layer "outside-after.png")
  (gimp-image-delete image))
; A layer group, and a layer whose pixels are locked.
(let* ((image (sw-load astronaut))
       (layer (sw-layer image))
       (group (car (gimp-layer-group-new image))))
  (gimp-image-insert-layer image group 0 0)
  (sw-pattern "group" image group sw-iterations sw-side)
  (gimp-item-set-lock-content layer TRUE)
  (sw-lines "locked" image layer)
  (sw-export image layer "locked-after.png")
  (gimp-image-delete image))
(let ((image (sw-load astronaut)))
  (sw-pattern "bad-iterations" image (sw-layer image) 0 sw-side)
  (sw-pattern "bad-side" image (sw-layer image) sw-iterations 8)
  (sw-lines "bad-tau" image (sw-layer image) 3 3 5 5 8 8 2 2.5 0.9999)
  (sw-export image (sw-layer image) "bad-after.png")
  (gimp-image-delete image))

; ---- run with the last values: the settings of the last run that went through ---------------
(sw-case "last-first" astronaut sw-as-is
         (lambda (name image layer) (sw-pattern name image layer (+ sw-iterations 5) (/ sw-side 2))))
(sw-case "last-again" astronaut sw-as-is
         (lambda (name image layer)
           (sw-try name (lambda () (plug-in-spotweave RUN-WITH-LAST-VALS image layer 1 16)))))
